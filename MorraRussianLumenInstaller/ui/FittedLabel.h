#pragma once

#include <QLabel>
#include <QString>

namespace morra {

// A label of a fixed number of lines that shows as much of a longer text as fits its width: the
// whole text when it fits; otherwise as many whole sentences as fit (Cut::Sentences; a colon that
// ends a line, before a list, ends a sentence too) or, for a path, its first and last folders
// around an ellipsis, cut only at folder boundaries and never cutting the last name (Cut::Path).
// It never grows, never clips a line, and keeps the full text as its tool tip.
class FittedLabel : public QLabel {
    Q_OBJECT

public:
    enum class Cut { Sentences, Path };

    FittedLabel(int lines, Cut cut, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return fullText_; }
    // Whether every word of the full text is on show.
    bool showsAll() const { return showsAll_; }

    // The shown form of `text` within `lines` lines of `width` pixels in `font`.
    static QString fit(const QString& text, const QFont& font, int width, int lines, Cut cut, bool* showsAll = nullptr);
    // `text` with each of its lines that is wider than `width` broken in two where the halves are
    // most even, so that no line ends as a lone word.
    static QString balanced(const QString& text, const QFont& font, int width);

signals:
    // The shown text was fitted anew (new text, new width or a new font).
    void refitted();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refit();

    int lines_;
    Cut cut_;
    QString fullText_;
    bool showsAll_ = true;
};

}  // namespace morra
