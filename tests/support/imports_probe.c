/* A program that imports one function of Windows Vista beside one of Windows
   95: check_pe.sh must name the first and pass over the second. */
#include <windows.h>

int main(void) {
    Sleep(0);
    return (int)(GetTickCount64() & 1);
}
