#include "ui/Feedback.h"

#include <QGuiApplication>
#include <QStringList>
#include <QSysInfo>

#include "TesselVersion.h"

namespace {

// The mails are written to the maker, so they stay in English whatever the window's language; the user
// writes between their lines in any.
QString versionLines() {
    return QStringLiteral("Tessel version: ") + QLatin1String(kTesselVersion) + QStringLiteral("\nSystem: ") +
           systemDescription() + QLatin1Char('\n');
}

}  // namespace

QUrl FeedbackMail::link() const {
    QString crlfBody = body;
    crlfBody.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(QLatin1String(kFeedbackAddress));
    url.setQuery(QStringLiteral("subject=") + QString::fromLatin1(QUrl::toPercentEncoding(subject)) +
                     QStringLiteral("&body=") + QString::fromLatin1(QUrl::toPercentEncoding(crlfBody)),
                 QUrl::StrictMode);
    return url;
}

QString FeedbackMail::text() const {
    return QStringLiteral("To: ") + QLatin1String(kFeedbackAddress) + QStringLiteral("\nSubject: ") +
           subject + QStringLiteral("\n\n") + body;
}

FeedbackMail bugReportMail() {
    return {QStringLiteral("Bug report: Tessel ") + QLatin1String(kTesselVersion),
            QStringLiteral("Hello,\n\nI have found a bug in Tessel.\n\n"
                           "What I did (the steps, and the watch's settings if a watch was involved):\n\n\n"
                           "What happened (the message or the log lines, if any):\n\n\n"
                           "What I expected to happen:\n\n\n") +
                versionLines()};
}

FeedbackMail commentsMail() {
    return {QStringLiteral("Comments on Tessel ") + QLatin1String(kTesselVersion),
            QStringLiteral("Hello,\n\nMy comments on Tessel:\n\n\n\n") + versionLines()};
}

QString systemDescription() {
    QStringList parts{QSysInfo::prettyProductName(), QSysInfo::currentCpuArchitecture(),
                      QStringLiteral("Qt ") + QLatin1String(qVersion())};
    QString windows = QGuiApplication::platformName();
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    if (!desktop.isEmpty()) windows = desktop + QStringLiteral(" (") + windows + QLatin1Char(')');
    if (!windows.isEmpty()) parts.append(windows);
    return parts.join(QStringLiteral(", "));
}
