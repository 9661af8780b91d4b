/* kqlmx.h is a C header: this file is compiled as C and calls the library as a
 * C program would. */
#include "kqlmx.h"

#include <stddef.h>

int KqlmxFromC_NoSuchPort(void) {
    return KQLMX_GetLastError(0);
}

int KqlmxFromC_EmptyComList(char* buffer, int size) {
    return KQLMX_EnumComPorts(buffer, size);
}

int KqlmxFromC_InstallNoHooks(void) {
    KQLMX_UiHooks hooks = {NULL, NULL, NULL, NULL, NULL, NULL};
    KQLMX_SetUiHooks(&hooks);
    KQLMX_SetTraceSink(NULL, NULL);
    return KQLMX_OpenPort(NULL, 19200, 500);
}
