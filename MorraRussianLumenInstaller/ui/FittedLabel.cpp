#include "FittedLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QTextLayout>
#include <QTextOption>

namespace morra {

namespace {

// The text broken into lines of at most `width` pixels, at word boundaries where there are any;
// a path breaks after its separators. Returns nothing when a line would still be wider.
QStringList wrapped(const QString& text, const QFont& font, int width) {
    QString breakable = text;
    breakable.replace(QLatin1Char('/'), QStringLiteral("/\u200b"));
    QTextLayout layout(breakable, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    QStringList lines;
    bool tooWide = false;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (line.naturalTextWidth() > width) tooWide = true;
        QString part = breakable.mid(line.textStart(), line.textLength());
        part.remove(QChar(0x200b));
        lines << part.trimmed();
    }
    layout.endLayout();
    if (tooWide) return {};
    return lines;
}

// The text's sentences, each with its closing mark; the engine's hard line breaks count as spaces.
QStringList sentencesOf(const QString& text) {
    const QString flat = text.simplified();
    QStringList sentences;
    qsizetype start = 0;
    for (qsizetype i = 0; i < flat.size(); ++i) {
        const QChar c = flat.at(i);
        const bool ends = (c == QLatin1Char('.') || c == QLatin1Char('!') || c == QLatin1Char('?') || c == QChar(0x2026)) &&
                          (i + 1 == flat.size() || flat.at(i + 1) == QLatin1Char(' '));
        if (ends) {
            sentences << flat.mid(start, i + 1 - start).trimmed();
            start = i + 1;
        }
    }
    if (start < flat.size() && !flat.mid(start).trimmed().isEmpty()) sentences << flat.mid(start).trimmed();
    return sentences;
}

}  // namespace

FittedLabel::FittedLabel(int lines, Cut cut, QWidget* parent) : QLabel(parent), lines_(lines), cut_(cut) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    // The width comes from the layout, the height from the number of lines.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setFixedHeight(lines_ * fontMetrics().lineSpacing() + contentsMargins().top() + contentsMargins().bottom());
}

void FittedLabel::setFullText(const QString& text) {
    fullText_ = text;
    refit();
}

QString FittedLabel::fit(const QString& text, const QFont& font, int width, int lines, Cut cut, bool* showsAll) {
    const QFontMetrics metrics(font);
    const auto fits = [&](const QString& candidate) {
        const QStringList wrappedLines = wrapped(candidate, font, width);
        return !wrappedLines.isEmpty() && wrappedLines.size() <= lines ? wrappedLines.join(QLatin1Char('\n')) : QString();
    };
    if (showsAll) *showsAll = true;
    if (text.isEmpty() || width <= 0) return text;
    // The whole text, line breaks as they are, when it fits.
    QStringList ownLines;
    bool allFit = text.count(QLatin1Char('\n')) < lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QStringList wrappedLines = wrapped(line, font, width);
        if (wrappedLines.isEmpty()) allFit = false;
        ownLines << wrappedLines;
    }
    if (allFit && ownLines.size() <= lines) return ownLines.join(QLatin1Char('\n'));
    if (showsAll) *showsAll = false;

    if (cut == Cut::Middle) return metrics.elidedText(text.simplified(), Qt::ElideMiddle, width);

    // As many whole sentences as fit.
    const QStringList sentences = sentencesOf(text);
    QString shown;
    for (const QString& sentence : sentences) {
        const QString candidate = shown.isEmpty() ? sentence : shown + QLatin1Char(' ') + sentence;
        if (fits(candidate).isEmpty()) break;
        shown = candidate;
    }
    if (!shown.isEmpty()) return fits(shown);

    // Not even the first sentence fits: its first lines, the last one cut with an ellipsis.
    const QString first = sentences.isEmpty() ? text.simplified() : sentences.first();
    QString breakable = first;
    breakable.replace(QLatin1Char('/'), QStringLiteral("/\u200b"));
    QTextLayout layout(breakable, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList result;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        QString part = breakable.mid(line.textStart(), result.size() + 1 < lines ? line.textLength() : -1);
        part.remove(QChar(0x200b));
        if (result.size() + 1 < lines) {
            result << part.trimmed();
            continue;
        }
        result << metrics.elidedText(part.trimmed() + QChar(0x2026), Qt::ElideRight, width);
        break;
    }
    layout.endLayout();
    return result.join(QLatin1Char('\n'));
}

void FittedLabel::refit() {
    bool all = true;
    const QString shown = fit(fullText_, font(), contentsRect().width(), lines_, cut_, &all);
    showsAll_ = all;
    setText(shown);
    setToolTip(all ? QString() : fullText_);
    emit refitted();
}

void FittedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    refit();
}

void FittedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        setFixedHeight(lines_ * fontMetrics().lineSpacing() + contentsMargins().top() + contentsMargins().bottom());
        refit();
    }
}

}  // namespace morra
