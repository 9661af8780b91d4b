#include "app/ProductVersion.h"

#ifndef KQ_PRODUCT_VERSION
#error "KQ_PRODUCT_VERSION is set by app/CMakeLists.txt"
#endif

QString ProductVersionText() {
    return QStringLiteral(KQ_PRODUCT_VERSION);
}
