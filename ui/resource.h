// Resource identifiers shared by the resource script and the code.
#ifndef SONABELL_UI_RESOURCE_H
#define SONABELL_UI_RESOURCE_H

#define SONABELL_VERSION_TEXT "2.01.001"
#define SONABELL_VERSION_BINARY 2, 1, 1, 0

#endif
