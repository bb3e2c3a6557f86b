#pragma once
// Where Tessel's maker can be reached, and the two prepared mails of the Help menu. The addresses lie
// in example.org, the domain reserved for examples, until the project has addresses of its own.

#include <QString>
#include <QUrl>

inline constexpr char kWebAddress[] = "https://www.example.org/tessel/";
inline constexpr char kFeedbackAddress[] = "tessel@example.org";

// A mail to Tessel's maker, ready for the user to fill in and send.
struct FeedbackMail {
    QString subject;
    QString body;  // lines ended with "\n"

    // The "mailto:" link that hands the mail to the user's mail program, every text percent-encoded and
    // each line ended with CR LF, as mail links carry them.
    QUrl link() const;
    // The whole mail as text, for a mail written elsewhere: address, subject and body.
    QString text() const;
};

// "Send Your Bug Reports": what the user did, what happened and what was expected, to fill in, and
// Tessel's version and the system it runs on, filled in.
FeedbackMail bugReportMail();
// "Send Your Comments".
FeedbackMail commentsMail();

// The system as a bug report needs it: the distribution, the processor, Qt and the window system.
QString systemDescription();
