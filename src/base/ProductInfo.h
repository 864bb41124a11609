#pragma once
// The product's name and version as the program shows and sends them.

#include <QString>

namespace corvala {

inline const QString ProductName = QStringLiteral("Corvala");
// The version number 42 written with a point before its last digit.
inline constexpr int ProductVersionNumber = 42;
QString VersionText(int versionNumber = ProductVersionNumber);

}  // namespace corvala
