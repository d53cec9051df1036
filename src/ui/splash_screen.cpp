#include "ui/splash_screen.h"

#include "shell/message_texts.h"
#include "ui/artwork.h"
#include "ui/text_convert.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

namespace pelmora {

TSplashScreen::TSplashScreen(std::function<bool()> canDismiss, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      CanDismiss(std::move(canDismiss)) {
    setObjectName(QStringLiteral("SplashScreen"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Picture = new QLabel(this);
    Picture->setPixmap(SplashPicture(false));
    layout->addWidget(Picture);
    Web = new QLabel(this);
    Web->setObjectName(QStringLiteral("WebLabel"));
    const QString address = ToQt(kProductWebAddress);
    Web->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped()));
    Web->setAlignment(Qt::AlignCenter);
    Web->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    connect(Web, &QLabel::linkActivated, this,
            [](const QString& link) { QDesktopServices::openUrl(QUrl(link)); });
    layout->addWidget(Web);
    setFixedSize(sizeHint());
}

void TSplashScreen::ShowPicture(bool farewell) {
    Picture->setPixmap(SplashPicture(farewell));
    Web->setVisible(!farewell);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    show();
    raise();
    repaint();
    QCoreApplication::processEvents();
}

void TSplashScreen::Dismiss() {
    if (!CanDismiss || CanDismiss())
        hide();
}

void TSplashScreen::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    Dismiss();
}

void TSplashScreen::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible())
        Dismiss();
}

void TSplashScreen::closeEvent(QCloseEvent* event) {
    event->ignore();
    hide();
}

} // namespace pelmora
