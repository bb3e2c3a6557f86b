#include "ui/Help.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>

#include "TesselVersion.h"
#include "ui/Pictures.h"

namespace {

constexpr int kHelpWidth = 560;
constexpr int kHelpHeight = 600;

// Left or right of the owner, wherever the help fits on its screen without covering it; over its right
// edge when neither side has room.
QPoint besideOwner(const QWidget* owner, QSize size) {
    if (owner == nullptr || owner->screen() == nullptr) return {};
    const QRect available = owner->screen()->availableGeometry();
    const QRect frame = owner->frameGeometry();
    int x = frame.right() + 1;
    if (x + size.width() > available.right() + 1) x = frame.left() - size.width();
    if (x < available.left()) x = available.right() + 1 - size.width();
    const int y = std::clamp(frame.top(), available.top(),
                             std::max(available.top(), available.bottom() + 1 - size.height()));
    return {std::max(x, available.left()), y};
}

}  // namespace

QString helpContentsFor(const QString& programFolder) {
    const QString beside = programFolder + QStringLiteral("/help/index.html");
    if (QFileInfo(beside).isFile()) return beside;
    return QDir::cleanPath(programFolder + QLatin1Char('/') + QLatin1String(kHelpFromProgram) +
                           QStringLiteral("/index.html"));
}

QString helpContents() {
    return helpContentsFor(QCoreApplication::applicationDirPath());
}

QString missingHelpText(const QString& contents) {
    if (QFileInfo(contents).isFile()) return {};
    return QCoreApplication::translate(
               "HelpViewer",
               "Unable to view Tessel help: the file \"%1\" is missing. Tessel looks for its help "
               "pages in the folder \"help\" beside the program and in \"%2\" of its installation.")
        .arg(QFileInfo(contents).absoluteFilePath(),
             QDir::cleanPath(QStringLiteral("bin/") + QLatin1String(kHelpFromProgram)));
}

HelpViewer::~HelpViewer() {
    delete m_window;
}

void HelpViewer::createWindow() {
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setObjectName(QStringLiteral("HelpWindow"));
    window->setWindowTitle(QCoreApplication::translate("HelpViewer", "Tessel Help"));
    window->setWindowIcon(programIcon());
    window->setAttribute(Qt::WA_DeleteOnClose);

    m_browser = new QTextBrowser(window);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    // Links are followed here, so that only Tessel's own pages are ever opened.
    m_browser->setOpenLinks(false);
    QObject::connect(m_browser, &QTextBrowser::anchorClicked, m_browser,
                     [browser = m_browser](const QUrl& link) {
                         const QUrl target = browser->source().resolved(link);
                         if (target.isLocalFile()) browser->setSource(target);
                     });

    auto* contents = new QPushButton(QCoreApplication::translate("HelpViewer", "Contents"), window);
    auto* back = new QPushButton(QCoreApplication::translate("HelpViewer", "Back"), window);
    auto* forward = new QPushButton(QCoreApplication::translate("HelpViewer", "Forward"), window);
    back->setEnabled(false);
    forward->setEnabled(false);
    QObject::connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    QObject::connect(forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    QObject::connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    QObject::connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
    QObject::connect(contents, &QPushButton::clicked, m_browser, &QTextBrowser::home);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addWidget(m_browser, 1);
    window->resize(kHelpWidth, kHelpHeight);
    new QShortcut(Qt::Key_Escape, window, window, &QWidget::close);
    m_window = window;
}

void HelpViewer::showContents(const QString& contents, QWidget* owner) {
    const bool opening = m_window.isNull();
    if (opening) createWindow();
    m_browser->clearHistory();
    m_browser->setSource(QUrl::fromLocalFile(QFileInfo(contents).absoluteFilePath()));
    if (opening) m_window->move(besideOwner(owner, m_window->frameGeometry().size()));
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void HelpViewer::closeAll() {
    delete m_window;
}

QTextBrowser* HelpViewer::browser() const {
    return m_window ? m_browser : nullptr;
}
