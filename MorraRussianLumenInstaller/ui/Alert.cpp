#include "Alert.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <algorithm>

#include "FittedLabel.h"
#include "MainWindow.h"

namespace morra {

namespace {

// Longer messages go to the details.
constexpr int kMaxAlertLines = 12;
// Widths in average characters of the message's font: at least this, so that the title shows and
// a sentence is not broken into a column of words; at most this, to keep lines readable.
constexpr int kMinimumCharacters = 44;
constexpr int kMaximumCharacters = 72;

}  // namespace

void prepareAlert(QMessageBox& box, const QString& heading, const QString& message, QMessageBox::Icon icon) {
    box.setWindowTitle(kWindowTitle);
    box.setIcon(icon);
    box.setText(heading);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);

    const QFontMetrics metrics(box.font());
    int widest = metrics.horizontalAdvance(heading);
    int widestWord = 0;
    for (const QString& line : message.split(QLatin1Char('\n'))) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
        for (const QString& word : line.split(QLatin1Char(' ')))
            widestWord = std::max(widestWord, metrics.horizontalAdvance(word));
    }
    // A little room, so that a line of exactly that width is not wrapped by rounding.
    widest += metrics.averageCharWidth();
    int width = std::clamp(widest, kMinimumCharacters * metrics.averageCharWidth(),
                           kMaximumCharacters * metrics.averageCharWidth());
    // A word is never cut off (a digest, a path without spaces): the alert is as wide as it.
    width = std::max(width, widestWord + metrics.averageCharWidth());
    width = std::max(width, metrics.horizontalAdvance(kWindowTitle) + 12 * metrics.averageCharWidth());
    // Never wider than most of the screen.
    const QScreen* screen = box.screen() != nullptr ? box.screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) width = std::min(width, screen->availableGeometry().width() * 3 / 4);

    if (message.count(QLatin1Char('\n')) < kMaxAlertLines) {
        box.setInformativeText(message);
    } else {
        QString summary = FittedLabel::fit(message, box.font(), width, 3, FittedLabel::Cut::Sentences);
        summary.replace(QLatin1Char('\n'), QLatin1Char(' '));
        box.setInformativeText(summary);
        box.setDetailedText(message);
        // Open the details at once: they are the message.
        for (QAbstractButton* button : box.buttons()) {
            if (box.buttonRole(button) == QMessageBox::ActionRole) button->click();
        }
    }
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) label->setMinimumWidth(width);
}

}  // namespace morra
