#include "app/my_label.hpp"

#include <QApplication>
#include <QPalette>

namespace karvona::app {

CMyLabel::CMyLabel(QWidget* parent) : QLabel(parent) {
    const QPalette system = QApplication::palette();
    textColour_ = system.color(QPalette::WindowText);
    background_ = system.color(QPalette::Button);
    const QFont guiFont = QApplication::font();
    faceName_ = guiFont.family();
    fontHeight_ = guiFont.pixelSize() > 0 ? -guiFont.pixelSize() : 0;
    setAutoFillBackground(true);
    RebuildFont();
    ApplyColours();
}

void CMyLabel::ApplyColours() {
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, textColour_);
    colours.setColor(QPalette::Window, background_);
    setPalette(colours);
}

void CMyLabel::SetTextColor(const QColor& colour) {
    textColour_ = colour;
    ApplyColours();
    repaint();
}

void CMyLabel::SetBkColor(const QColor& colour) {
    background_ = colour;
    ApplyColours();
    update();
}

void CMyLabel::SetFontName(const QString& faceName) {
    faceName_ = faceName;
    RebuildFont();
    repaint();
}

void CMyLabel::SetFontSize(int size) {
    fontHeight_ = -size;
    RebuildFont();
    repaint();
}

void CMyLabel::SetBorder(bool on) {
    const int shadow = frameStyle() & QFrame::Shadow_Mask;
    if (on) {
        setFrameStyle(QFrame::Box | (shadow ? shadow : QFrame::Plain));
        setLineWidth(1);
    } else {
        setFrameStyle(QFrame::NoFrame);
    }
}

void CMyLabel::RebuildFont() {
    QFont rebuilt(faceName_);
    if (fontHeight_ < 0) {
        rebuilt.setPixelSize(-fontHeight_);  // a character height in pixels
    } else if (fontHeight_ > 0) {
        rebuilt.setPixelSize(fontHeight_);  // a cell height: near enough for a label
    } else {
        rebuilt.setPointSize(QApplication::font().pointSize());
    }
    setFont(rebuilt);
}

}  // namespace karvona::app
