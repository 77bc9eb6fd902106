#pragma once
// A labelled indicator: a lamp and a caption, both in the indication's colour.
// The state is shown by colour only; the caption never disappears. A stale
// indication (its value is not current) is drawn greyed, in its colour dimmed.
#include <QColor>
#include <QWidget>

namespace kestrel2 {

class IndicationLabel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
    Q_PROPERTY(QColor colour READ colour WRITE setColour)
public:
    explicit IndicationLabel(const QString& caption, const QColor& colour, QWidget* parent = nullptr);
    QString text() const { return caption; }
    void setText(const QString& text);
    QColor colour() const { return current; }
    void setColour(const QColor& colour);
    bool isStale() const { return stale; }
    void setStale(bool on);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString caption;
    QColor current;
    bool stale = false;
};

} // namespace kestrel2
