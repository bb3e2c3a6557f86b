#include "ui/Feedback.h"

QString mailLink(const QString& subject, const QString& bodyLine) {
    return QStringLiteral("mailto:") + QLatin1String(kFeedbackAddress) + QStringLiteral("?subject=") +
           subject + QStringLiteral("&body=") + QStringLiteral("Good Day!") + QStringLiteral("%0d%0a") +
           bodyLine;
}

QString bugReportLink() {
    return mailLink(QStringLiteral("Bug In program Tessel"), QStringLiteral("Your program have a bugs:"));
}

QString commentsLink() {
    return mailLink(QStringLiteral("Comments for program Tessel"), QStringLiteral("Comments for Tessel:"));
}
