#pragma once
// TSplashScreen: the picture shown while the program starts and while it closes. A click or
// losing the focus hides it once CanDismiss allows; closing it only hides it. A label on it
// opens the product web page.

#include <QWidget>

#include <functional>

class QLabel;

namespace pelmora {

class TSplashScreen : public QWidget {
    Q_OBJECT
public:
    TSplashScreen(std::function<bool()> canDismiss, QWidget* parent);

    // Shows the start or the farewell picture and paints it at once.
    void ShowPicture(bool farewell);
    QLabel* WebLabel() const { return Web; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Dismiss();

    std::function<bool()> CanDismiss;
    QLabel* Picture = nullptr;
    QLabel* Web = nullptr;
};

} // namespace pelmora
