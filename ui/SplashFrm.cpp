#include "ui/SplashFrm.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QUrl>

#include "TesselVersion.h"
#include "ui/Dialogs.h"
#include "ui/Feedback.h"
#include "ui/Pictures.h"

TTesselSplashForm::TTesselSplashForm(Dialogs& dialogs)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_dialogs(dialogs) {
    setObjectName(QStringLiteral("TesselSplashForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("About Tessel"));
    setWindowIcon(programIcon());
    setFixedSize(kWidth, kHeight);
    setWindowOpacity(200.0 / 255.0);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    auto* Panel1 = new QFrame(this);
    // A frameless box needs an edge of its own to stand apart from the window behind it.
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setStyleSheet(QStringLiteral("QFrame#Panel1 { border: 1px solid #404040; }"));
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, kWidth, kHeight);

    Image1 = new QLabel(Panel1);
    Image1->setGeometry(1, 1, kAboutPictureWidth, kAboutPictureHeight);
    Image1->setPixmap(aboutPicture(devicePixelRatioF()));

    // Over the picture: the mark beside its lettering, the web address along its lower edge.
    Label1 = new QLabel(QStringLiteral("TM"), Panel1);
    Label1->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    Label1->adjustSize();
    Label1->move(305, 68);

    Label2 = new QLabel(Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setText(
        QStringLiteral("<a href=\"%1\" style=\"color: #ffe08a;\">%1</a>").arg(QLatin1String(kWebAddress)));
    Label2->setTextFormat(Qt::RichText);
    Label2->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setStyleSheet(QStringLiteral("background: transparent;"));
    Label2->setGeometry(1, 182, kAboutPictureWidth, 20);
    connect(Label2, &QLabel::linkActivated, this, &TTesselSplashForm::Label2Click);

    auto* Bevel1 = new QFrame(Panel1);
    Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    Bevel1->setGeometry(0, 1 + kAboutPictureHeight, kWidth, 3);

    Label3 = new QLabel(QStringLiteral("Tessel"), Panel1);
    QFont large = font();
    large.setPixelSize(21);
    large.setBold(true);
    Label3->setFont(large);
    Label3->adjustSize();
    Label3->move(10, 222);

    Label4 = new QLabel(tr("Version: %1").arg(QLatin1String(kTesselVersion)), Panel1);
    Label4->adjustSize();
    Label4->move(Label3->geometry().right() + 14, 222 + Label3->height() - Label4->height() - 2);

    Button1 = new QPushButton(tr("Ok"), Panel1);
    Button1->setGeometry(kWidth - 8 - 75, kHeight - 8 - 25, 75, 25);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TTesselSplashForm::Button1Click);

    // Escape closes the box as "Ok" does (the brief display closes by itself).
    new QShortcut(Qt::Key_Escape, this, [this] {
        if (Button1->isVisible()) close();
    });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(kWidth / 2, kHeight / 2));
}

void TTesselSplashForm::Button1Click() {
    close();
}

void TTesselSplashForm::Label2Click() {
    m_dialogs.openUrl(QUrl(QLatin1String(kWebAddress)));
}
