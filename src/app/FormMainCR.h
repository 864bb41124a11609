#pragma once
// The main window. At this stage it carries the product's name and answers
// the running-instance messages; its full content arrives with the main
// window's own work.

#include <QWidget>

#include "platform/InstanceChannel.h"

namespace corvala {

class TFormMainCR : public QWidget {
    Q_OBJECT
public:
    explicit TFormMainCR(QWidget* parent = nullptr);

    // A message from another copy of the program.
    void HandleInstanceMessage(const platform::InstanceMessage& message);
};

}  // namespace corvala
