#include "base/ProductInfo.h"

namespace corvala {

QString VersionText(int versionNumber) {
    QString digits = QString::number(versionNumber);
    if (digits.size() < 2) digits.prepend('0');
    return digits.left(digits.size() - 1) + "." + digits.right(1);
}

}  // namespace corvala
