#pragma once
// The update's log category: corvala.update.

#include <QLoggingCategory>

namespace corvala::update {
Q_DECLARE_LOGGING_CATEGORY(lcUpdate)
}
