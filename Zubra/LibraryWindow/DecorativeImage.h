#pragma once
// Images that only decorate, as an application icon beside its name: the widget that holds them
// draws each in the place its layout keeps for it. A child widget would be an element for
// assistive technology; these are not.

#include <QPixmap>
#include <QSpacerItem>
#include <QWidget>

class DecorativeImage : public QSpacerItem
{
public:
    // A place of a fixed size; the pixmap is drawn centred in what the layout gives it.
    explicit DecorativeImage(const QSize& size);

    // Laid out as a widget would be: with the layout's spacing beside it.
    bool isEmpty() const override { return false; }

    const QPixmap& pixmap() const { return m_pixmap; }
    QRect imageRect() const;

private:
    friend class DecoratedWidget;
    QPixmap m_pixmap;
};

class DecoratedWidget : public QWidget
{
public:
    explicit DecoratedWidget(QWidget* parent = nullptr);

    // A new image for this widget's layouts (which take it over).
    DecorativeImage* addImage(const QSize& size);
    void setPixmap(DecorativeImage* image, const QPixmap& pixmap);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QList<DecorativeImage*> m_images;
};
