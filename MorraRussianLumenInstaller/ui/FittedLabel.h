#pragma once

#include <QLabel>
#include <QString>

namespace morra {

// A label of a fixed number of lines that shows as much of a longer text as fits its width: the
// whole text when it fits; otherwise as many whole sentences as fit (Cut::Sentences) or the
// text's beginning and end around an ellipsis (Cut::Middle, for a path). It never grows, never
// clips a line, and keeps the full text as its tool tip.
class FittedLabel : public QLabel {
    Q_OBJECT

public:
    enum class Cut { Sentences, Middle };

    FittedLabel(int lines, Cut cut, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return fullText_; }
    // Whether every word of the full text is on show.
    bool showsAll() const { return showsAll_; }

    // The shown form of `text` within `lines` lines of `width` pixels in `font`.
    static QString fit(const QString& text, const QFont& font, int width, int lines, Cut cut, bool* showsAll = nullptr);

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
