// show_message_box [warning|error|confirm|information] [text]
// Shows one modal box on the current display and prints the answer, for
// looking at the box by eye or taking a screenshot of it.

#include <cstdio>

#include <QApplication>

#include "widgets/FormMessage.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString kindName = args.value(1, "confirm").toLower();
    corvala::MessageKind kind = corvala::MessageKind::Confirm;
    if (kindName == "warning")
        kind = corvala::MessageKind::Warning;
    else if (kindName == "error")
        kind = corvala::MessageKind::Error;
    else if (kindName == "information")
        kind = corvala::MessageKind::Information;
    const QString text = args.value(2, "All current connections will be closed. Do you want to continue?");
    const bool answer = corvala::ShowAppMessage(true, kind, text);
    std::printf("%s\n", answer ? "true" : "false");
    return 0;
}
