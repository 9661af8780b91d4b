// libkqlmx.so as a third-party program sees it: only kqlmx.h, linked to the shared
// library, called from C.
#include <gtest/gtest.h>

extern "C" {
int KqlmxFromC_NoSuchPort(void);
int KqlmxFromC_EmptyComList(char* buffer, int size);
int KqlmxFromC_InstallNoHooks(void);
}

TEST(SharedLibrary, CallableFromC) {
    EXPECT_EQ(KqlmxFromC_NoSuchPort(), 3);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(KqlmxFromC_EmptyComList(buffer, 4), 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(KqlmxFromC_InstallNoHooks(), -1);
}
