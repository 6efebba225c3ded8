/* A DLL whose entry points have the host's names but not all the host's
 * calling conventions: the stdcall check must name exactly the wrong ones. */
#include <windows.h>

/* Two arguments where the host passes three: pops 8, not 12. */
int WINAPI Initialize(int a, int b) {
    return a + b;
}
void WINAPI Uninitialize(void) {}
/* Right, with a branch: each way must return popping 12. */
int WINAPI PublishInfo(char* a, char* b, int* c) {
    if (!a)
        return 0;
    *c = b ? 1 : 2;
    return 1;
}
/* The caller's convention: pops nothing. */
int __cdecl ParseTag(int a, int b, int c) {
    return a ^ b ^ c;
}
int WINAPI ParseCommand(const char* a, const char* b, int c, char* d) {
    return a == b && c && d;
}
int WINAPI ReceiveNotify(const char* a, int b, int c, char* d) {
    return a && b == c && d;
}
int WINAPI DisplayToast(const char* a, const char* b, int c, BOOL d) {
    return a != b && c == d;
}
/* One argument too many: pops 20. */
int WINAPI DisplayToastW(const WCHAR* a, const WCHAR* b, int c, BOOL d, int e) {
    return a != b && c == d && e;
}
