#pragma once
// Where Tessel's maker can be reached, and the two prepared mails of the Help menu. The addresses lie
// in example.org, the domain reserved for examples, until the project has addresses of its own.

#include <QString>

inline constexpr char kWebAddress[] = "https://www.example.org/tessel/";
inline constexpr char kFeedbackAddress[] = "tessel@example.org";

// "mailto:" + address + "?subject=" + subject + "&body=" + "Good Day!" + "%0d%0a" + bodyLine, joined as
// they stand: nothing is encoded or added, so the mail program gets the texts as Tessel wrote them.
QString mailLink(const QString& subject, const QString& bodyLine);

// "Send your bug reports"
QString bugReportLink();
// "Send your comments"
QString commentsLink();
