#include "FittedLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>

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

// The text's sentences, each with its closing mark; a colon at the end of a line (before a list)
// closes one too. The engine's hard line breaks count as spaces.
QStringList sentencesOf(const QString& text) {
    QStringList sentences;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar(QLatin1Char(' '));
        const bool ends = ((c == QLatin1Char('.') || c == QLatin1Char('!') || c == QLatin1Char('?') || c == QChar(0x2026)) &&
                           next.isSpace()) ||
                          (c == QLatin1Char(':') && next == QLatin1Char('\n'));
        if (!ends) continue;
        if (const QString sentence = text.mid(start, i + 1 - start).simplified(); !sentence.isEmpty()) sentences << sentence;
        start = i + 1;
    }
    if (const QString rest = text.mid(start).simplified(); !rest.isEmpty()) sentences << rest;
    return sentences;
}

// A path within `width`: as many of its first and last folders as fit around an ellipsis (the
// last ones preferred), each whole; the whole path cut in its middle only when not even the last
// name fits beside the ellipsis.
QString elidedPath(const QString& path, const QFontMetrics& metrics, int width) {
    const QStringList parts = path.split(QLatin1Char('/'));
    const qsizetype count = parts.size();
    for (qsizetype kept = count - 1; kept >= 1; --kept) {
        for (qsizetype last = kept; last >= 1; --last) {
            const QString candidate = QStringList(parts.mid(0, kept - last))
                                          .join(QLatin1Char('/'))
                                          .append(kept - last > 0 ? QStringLiteral("/…/") : QStringLiteral("…/"))
                                          .append(QStringList(parts.mid(count - last)).join(QLatin1Char('/')));
            if (metrics.horizontalAdvance(candidate) <= width) return candidate;
        }
    }
    return metrics.elidedText(path, Qt::ElideMiddle, width);
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

    if (cut == Cut::Path) return elidedPath(text.simplified(), metrics, width);

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

QString FittedLabel::balanced(const QString& text, const QFont& font, int width) {
    const QFontMetrics metrics(font);
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        QString best = line;
        if (metrics.horizontalAdvance(line) > width) {
            int widest = width + 1;
            for (qsizetype space = line.indexOf(QLatin1Char(' ')); space > 0; space = line.indexOf(QLatin1Char(' '), space + 1)) {
                const QString left = line.left(space), right = line.mid(space + 1);
                const int wider = std::max(metrics.horizontalAdvance(left), metrics.horizontalAdvance(right));
                if (wider >= widest) continue;
                best = left + QLatin1Char('\n') + right;
                widest = wider;
            }
        }
        lines << best;
    }
    return lines.join(QLatin1Char('\n'));
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
