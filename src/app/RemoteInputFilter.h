#pragma once
// The remote picture's mouse, wheel and keyboard become the viewer's input
// tokens: an event filter on the picture that hands each event to the core's
// ViewerInput.

#include <QObject>

namespace corvala {

class TRemoteScreenView;
class ViewerInput;

class TRemoteInputFilter : public QObject {
    Q_OBJECT
public:
    TRemoteInputFilter(TRemoteScreenView& picture, ViewerInput& viewer, QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TRemoteScreenView& FPicture;
    ViewerInput& FViewer;
};

}  // namespace corvala
