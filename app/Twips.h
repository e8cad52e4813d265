#pragma once

#include <QFont>
#include <QRect>

// Window geometry is laid down in twips (1/1440 inch): 15 twips make one
// pixel at 96 dpi.
namespace yz::twips {

constexpr int toPixels(int twips)
{
    return (twips + 7) / 15;
}

constexpr QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

// The window's "宋体" with installed CJK fonts behind it for systems without it.
inline QFont songti(qreal pointSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("AR PL UMing CN")});
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace yz::twips
