#!/usr/bin/env bash
# Runs the amd64 setup and its uninstaller silently under the build tree's
# 64-bit Wine world and checks what they leave on disk and in the registry.
#   installer_test.sh <build-dir> <setup.exe> <regdump.exe> <pack-writer.exe>
#                     <hold-dll.exe> <sonabell-host.exe> <Sonabell.dll> <pack-dir> <case>
#                     <keyacl.exe>
# Every case starts from a registry without the host's or the plug-in's keys
# and a fresh host folder.
set -uo pipefail
build=$1 setup=$2 regdump=$3 pack_writer=$4 hold_dll=$5 simulator=$6 dll=$7 pack=$8 case=$9
keyacl=${10}
here=$(cd "$(dirname "$0")" && pwd)
scripts=$here/../../scripts

"$scripts/wine-world.sh" start "$build" win64
eval "$("$scripts/wine-world.sh" env "$build" win64)"
wine=$SONABELL_WINE_LOADER

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

host_key='HKLM\software\Kestrune\MsgPlus2'
data_key='Software\tinderwick_ software\Sonabell'
maker_key='Software\tinderwick_ software'
arp_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Sonabell'

reg() { "$wine" reg "$@" >/dev/null 2>&1 </dev/null; }
key_exists() { reg query "$1"; }
# Wine sees the Unix file system as drive Z:.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n'; }
dump() { "$wine" "$regdump" "$1" "$2" </dev/null | tr -d '\r'; }

reset_registry() {
    reg delete "$host_key" /f
    reg delete "HKLM\\$maker_key" /f
    reg delete "HKCU\\$maker_key" /f
    reg delete "HKLM\\$arp_key" /f
}

host=$build/installer-tests/$case
rm -rf "$host"
mkdir -p "$host"
host_win=$(winpath "$host")
reset_registry

# The setup and the uninstaller run as the tests' other Windows programs do.
run_setup() {
    "$scripts/wine-exec.sh" "$setup" /S "$@" </dev/null
}

# The uninstaller copies itself to the temp folder, starts that copy and
# ends at once; _?= makes it run in place and report its own exit code.
run_uninstaller_in_place() {
    "$scripts/wine-exec.sh" "$host/Sonabell-Uninstall.exe" /S "$@" "_?=$host_win" </dev/null
}

# As Add/Remove Programs runs it: wait for the copy to finish its work.
run_uninstaller_detached() {
    "$scripts/wine-exec.sh" "$host/Sonabell-Uninstall.exe" /S "$@" </dev/null || return 1
    for _ in $(seq 300); do
        if ! key_exists "HKLM\\$arp_key" && [ ! -e "$host/Sonabell-Uninstall.exe" ]; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

expect_code() {
    local want=$1 got=$2 what=$3
    [ "$got" = "$want" ] || fail "$what ended with exit code $got, expected $want"
}

pack_files=(bye.mp3 chime.mp3 hello.mp3 install.ini lol.ogg whistle.ogg)

check_installed_files() {
    cmp -s "$dll" "$host/Sonabell.dll" || fail "Sonabell.dll is missing or differs from the build's"
    local f
    for f in "${pack_files[@]}"; do
        cmp -s "$pack/$f" "$host/Sonabell/$f" || fail "Sonabell/$f is missing or differs from the pack's"
    done
    [ -f "$host/Sonabell-Uninstall.exe" ] || fail "no uninstaller in the host folder"
}

check_installed_files_gone() {
    [ ! -e "$host/Sonabell.dll" ] || fail "Sonabell.dll was not removed"
    local f
    for f in "${pack_files[@]}"; do
        [ ! -e "$host/Sonabell/$f" ] || fail "Sonabell/$f was not removed"
    done
}

# One line per sound value, as regdump prints it: strings with their zero.
sound_line() {
    printf '%s\\Sounds\\%s\t%s\tREG_SZ\t%s00\n' "$data_key" "$1" "$2" "$(hex "$3")"
}
sample_sound() {
    sound_line "$1" Command "$2"
    sound_line "$1" Filename "$3"
    sound_line "$1" Message "$4"
}
sample_sounds() {
    sample_sound 101 hello hello.mp3 'Hello there!'
    sample_sound 102 bye bye.mp3 'See you later!'
    sample_sound 103 lol lol.ogg 'Ha ha ha!'
    sample_sound 104 ding chime.mp3 'Ding dong!'
    sample_sound 105 whistle whistle.ogg 'Whee!'
}
setting_line() { printf '%s\t%s\tREG_BINARY\t%s\n' "$data_key" "$1" "$2"; }

compare() {
    local what=$1 want=$2 got=$3
    if [ "$want" != "$got" ]; then
        fail "$what differs"
        diff <(printf '%s\n' "$want") <(printf '%s\n' "$got") | sed 's/^/    /'
    fi
}

check_sounds() { compare "sound database" "$1" "$(dump HKLM "$data_key\\Sounds")"; }
check_settings() { compare "settings" "$1" "$(dump HKCU "$data_key")"; }

check_arp_entry() {
    local got want
    got=$(dump HKLM "$arp_key")
    want=$(
        str() { printf '%s\t%s\tREG_SZ\t%s00\n' "$arp_key" "$1" "$(hex "$2")"; }
        dword() { printf '%s\t%s\tREG_DWORD\t%s\n' "$arp_key" "$1" "$2"; }
        str DisplayIcon "$host_win\\Sonabell.dll,0"
        str DisplayName Sonabell
        str DisplayVersion 2.01.001
        str InstallLocation "$host_win"
        dword NoModify 01000000
        dword NoRepair 01000000
        str Publisher 'tinderwick_ software'
        str QuietUninstallString "\"$host_win\\Sonabell-Uninstall.exe\" /S"
        str UninstallString "\"$host_win\\Sonabell-Uninstall.exe\""
    )
    # The estimated size depends on the build; only its presence is checked.
    grep -q $'\tEstimatedSize\tREG_DWORD\t' <<<"$got" || fail "Add/Remove entry lacks EstimatedSize"
    compare "Add/Remove entry" "$want" "$(grep -v $'\tEstimatedSize\t' <<<"$got")"
}

install_into_host() {
    reg add "$host_key" /v PluginDir /d "$host_win" /f || fail "cannot prepare the host key"
    run_setup
    expect_code 0 $? "setup"
}

case $case in
fresh_install)
    install_into_host
    check_installed_files
    check_sounds "$(sample_sounds)"
    check_settings "$(setting_line SoundsEnabled 01; setting_line ToastsEnabled 01)"
    check_arp_entry
    ;;

same_as_plugin_pack_install)
    # The plug-in's own soundpack install and the setup must store the same.
    "$wine" "$pack_writer" "$(winpath "$pack")\\install.ini" </dev/null
    expect_code 0 $? "the plug-in's soundpack install"
    by_plugin=$(dump HKLM "$data_key\\Sounds")
    [ -n "$by_plugin" ] || fail "the plug-in's soundpack install wrote nothing"
    reset_registry
    install_into_host
    check_sounds "$by_plugin"
    ;;

plugin_dir_with_trailing_separator)
    reg add "$host_key" /v PluginDir /d "$host_win\\" /f
    run_setup
    expect_code 0 $? "setup"
    check_installed_files
    check_arp_entry
    ;;

upgrade_keeps_user_data)
    install_into_host
    # The user's own sound, an edited sample sound, sounds switched off and
    # the toasts value gone; an older Sonabell.dll in place.
    echo mine >"$host/Sonabell/mine.mp3"
    echo old >"$host/Sonabell.dll"
    reg add "HKLM\\$data_key\\Sounds\\7" /v Command /d boom /f
    reg add "HKLM\\$data_key\\Sounds\\7" /v Filename /d mine.mp3 /f
    reg add "HKLM\\$data_key\\Sounds\\7" /v Message /d Boom! /f
    reg add "HKLM\\$data_key\\Sounds\\101" /v Message /d 'Hi!' /f
    reg add "HKCU\\$data_key" /v SoundsEnabled /t REG_BINARY /d 00 /f
    reg delete "HKCU\\$data_key" /v ToastsEnabled /f
    run_setup
    expect_code 0 $? "upgrade"
    check_installed_files
    echo mine | cmp -s - "$host/Sonabell/mine.mp3" || fail "the user's sound file was touched"
    check_sounds "$(
        sound_line 101 Command hello
        sound_line 101 Filename hello.mp3
        sound_line 101 Message 'Hi!'
        sample_sounds | grep -v $'\\\\101\t'
        sample_sound 7 boom mine.mp3 Boom!
    )"
    check_settings "$(setting_line SoundsEnabled 00; setting_line ToastsEnabled 01)"
    check_arp_entry
    ;;

uninstall_keeps_data)
    install_into_host
    echo mine >"$host/Sonabell/mine.mp3"
    before_sounds=$(dump HKLM "$data_key\\Sounds")
    before_settings=$(dump HKCU "$data_key")
    run_uninstaller_detached || fail "the uninstaller did not finish"
    check_installed_files_gone
    [ -f "$host/Sonabell/mine.mp3" ] || fail "the user's sound file was removed"
    key_exists "HKLM\\$arp_key" && fail "the Add/Remove entry is still there"
    check_sounds "$before_sounds"
    check_settings "$before_settings"
    ;;

uninstall_removes_data)
    install_into_host
    echo mine >"$host/Sonabell/mine.mp3"
    run_uninstaller_in_place /REMOVEDATA
    expect_code 0 $? "uninstall"
    check_installed_files_gone
    [ -f "$host/Sonabell/mine.mp3" ] || fail "the user's sound file was removed"
    key_exists "HKLM\\$arp_key" && fail "the Add/Remove entry is still there"
    key_exists "HKLM\\$maker_key" && fail "the sound database is still there"
    key_exists "HKCU\\$maker_key" && fail "the settings are still there"
    ;;

uninstall_leaves_nothing)
    install_into_host
    run_uninstaller_detached /REMOVEDATA || fail "the uninstaller did not finish"
    left=$(cd "$host" && find . -mindepth 1)
    [ -z "$left" ] || fail "files left in the host folder: $left"
    ;;

no_host)
    # Nothing may be written when the setup cannot find where to install.
    for variant in missing_key missing_folder; do
        reset_registry
        want=3
        if [ $variant = missing_folder ]; then
            reg add "$host_key" /v PluginDir /d "$host_win\\gone" /f
            want=4
        fi
        run_setup
        expect_code $want $? "setup with the host's $variant"
        left=$(cd "$host" && find . -mindepth 1)
        [ -z "$left" ] || fail "$variant: files written: $left"
        key_exists "HKLM\\$maker_key" && fail "$variant: sound database written"
        key_exists "HKCU\\$maker_key" && fail "$variant: settings written"
        key_exists "HKLM\\$arp_key" && fail "$variant: Add/Remove entry written"
    done
    # A folder named with /D= is the user's choice and is used.
    reset_registry
    run_setup "/D=$host_win"
    expect_code 0 $? "setup with /D= and no host"
    check_installed_files
    check_sounds "$(sample_sounds)"
    ;;

dll_in_use)
    # A running host holds the DLL: both programs must stop and say so
    # rather than report success with the old DLL left in place.
    install_into_host
    echo old >"$host/Sonabell/hello.mp3"
    "$wine" "$hold_dll" "$host_win\\Sonabell.dll" 20000 >"$host.hold" 2>&1 </dev/null &
    holder=$!
    for _ in $(seq 100); do
        grep -q loaded "$host.hold" && break
        sleep 0.1
    done
    grep -q loaded "$host.hold" || fail "the DLL could not be loaded to hold it"
    run_setup
    expect_code 6 $? "setup while the DLL is in use"
    echo old | cmp -s - "$host/Sonabell/hello.mp3" || fail "setup went on after finding the DLL in use"
    run_uninstaller_in_place /REMOVEDATA
    expect_code 6 $? "uninstall while the DLL is in use"
    key_exists "HKCU\\$maker_key" || fail "uninstall removed the settings though the DLL stayed"
    [ -f "$host/Sonabell/hello.mp3" ] || fail "uninstall went on after finding the DLL in use"
    key_exists "HKLM\\$arp_key" || fail "uninstall removed the Add/Remove entry though the DLL stayed"
    kill "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
    rm -f "$host.hold"
    ;;

sample_sounds_play)
    # After a plain install, every sample sound goes out by its command word
    # with its default message, and the receiving side finds and plays it.
    install_into_host
    printf '%s\n' /xSBhello /xSBbye /xSBlol /xSBding /xSBwhistle '!wait 300' '!quit' >"$host.chat"
    chat=$("$wine" "$simulator" --plugin-dir "$host_win" --audio "capture:$host_win.wav" \
        --script "$(winpath "$host.chat")" </dev/null | tr -d '\r')
    expect_code 0 $? "the host simulator"
    for sent in '101|Hello there!' '102|See you later!' '103|Ha ha ha!' '104|Ding dong!' \
        '105|Whee!'; do
        grep -qF "Sonabell answers with a sound line: <0x12>SB|$sent" <<<"$chat" ||
            fail "no sound line SB|$sent"
        grep -qF "their Sonabell plays sound ${sent%%|*} (no error line)" <<<"$chat" ||
            fail "sound ${sent%%|*} was not played"
    done
    if grep -E 'shows the error line|\[toast\]' <<<"$chat"; then fail "a sound failed on the receiving side"; fi
    # An engine that captures what it mixes must have mixed something; an
    # engine that plays nowhere writes no capture at all.
    if [ -e "$host.wav" ] && [ "$(stat -c %s "$host.wav")" -le 44 ]; then
        fail "the capture holds no audio"
    fi
    rm -f "$host.chat" "$host.wav"
    ;;

every_account_may_change_the_database)
    # The local Users group gets full control (KEY_ALL_ACCESS) of the plug-in's
    # key, passed on to every key below it (CONTAINER_INHERIT_ACE), so a
    # standard account can add, edit and delete sounds.
    install_into_host
    users='S-1-5-32-545'
    grant=$(printf '%s\tallow\t000f003f\t02' "$users")
    acl=$("$wine" "$keyacl" HKLM "$data_key" </dev/null | tr -d '\r')
    grep -qxF "$grant" <<<"$acl" || fail "the Users group lacks full control of the database key: ${acl:-no key}"
    # An upgrade grants it again without piling up entries.
    run_setup
    expect_code 0 $? "setup over an installed Sonabell"
    acl=$("$wine" "$keyacl" HKLM "$data_key" </dev/null | tr -d '\r')
    [ "$(grep -cF "$users" <<<"$acl")" = 1 ] || fail "after an upgrade the Users entries are: $acl"
    # Nothing above the plug-in's key changes.
    "$wine" "$keyacl" HKLM "$maker_key" </dev/null | tr -d '\r' | grep -qxF "$grant" &&
        fail "the maker's key was opened up too"
    check_sounds "$(sample_sounds)"
    ;;

old_windows)
    # An older Windows than XP SP3 is refused before anything is written,
    # with exit code 7 (and a message box outside silent mode); XP SP3 itself
    # is fine. Wine reports the version its AppDefaults name for the program.
    app_key="HKCU\\Software\\Wine\\AppDefaults\\$(basename "$setup")"
    reg add "$host_key" /v PluginDir /d "$host_win" /f
    reg add "$app_key" /v Version /d win2k /f
    run_setup
    got=$?
    reg delete "$app_key" /f
    expect_code 7 "$got" "setup on Windows 2000"
    left=$(cd "$host" && find . -mindepth 1)
    [ -z "$left" ] || fail "files written on Windows 2000: $left"
    key_exists "HKLM\\$maker_key" && fail "sound database written on Windows 2000"
    key_exists "HKCU\\$maker_key" && fail "settings written on Windows 2000"
    key_exists "HKLM\\$arp_key" && fail "Add/Remove entry written on Windows 2000"
    reg add "$app_key" /v Version /d winxp /f
    run_setup
    got=$?
    reg delete "$app_key" /f
    expect_code 0 "$got" "setup on Windows XP SP3"
    check_installed_files
    ;;

*)
    echo "unknown case $case"
    exit 2
    ;;
esac

reset_registry
if [ $failures -ne 0 ]; then
    echo "$case: $failures failure(s)"
    exit 1
fi
# A failed case leaves its host folder for a look.
rm -rf "$host"
echo "$case: passed"
