#pragma once
// A static text whose text colour, background colour, font and border are set at run time: the
// large result label and the layout label of the main dialog.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QString>

namespace karvona::app {

class CMyLabel : public QLabel {
    Q_OBJECT
public:
    explicit CMyLabel(QWidget* parent = nullptr);

    /// Stores the colour and redraws at once.
    void SetTextColor(const QColor& colour);
    /// The label shows the new background at its next drawing.
    void SetBkColor(const QColor& colour);
    /// Replaces the face name of the font and redraws at once.
    void SetFontName(const QString& faceName);
    /// A character height of `size` pixels: the font description's height becomes -size.
    void SetFontSize(int size);
    /// Adds or removes the thin border.
    void SetBorder(bool on);
    void SetText(const QString& text) { setText(text); }

    QColor TextColor() const { return textColour_; }
    QColor BkColor() const { return background_; }
    /// The height of the font description: negative for a character height in pixels.
    int FontHeight() const { return fontHeight_; }
    QString FontName() const { return faceName_; }

private:
    void RebuildFont();
    void ApplyColours();

    QColor textColour_;
    QColor background_;
    QString faceName_;
    int fontHeight_;
};

}  // namespace karvona::app
