#include "dxlaunch/dxlaunch.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandTail, int) {
    DirectXSetupA(nullptr, commandTail, DXLAUNCH_COMPONENTS);
    return 0;
}
