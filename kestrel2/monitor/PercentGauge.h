#pragma once
// A horizontal percent gauge: a bar filled to the value (0 to 100 %) with the
// value written on it as "%0.0f %%". Values outside 0 to 100 are written as
// they are; the bar then shows empty or full. A stale value (not current) is
// drawn greyed.
#include <QWidget>

namespace kestrel2 {

class PercentGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double value READ value WRITE setValue)
public:
    explicit PercentGauge(QWidget* parent = nullptr);
    double value() const { return current; }
    void setValue(double percent);
    // The text written on the bar.
    QString text() const;
    static QString formatPercent(double percent);
    bool isStale() const { return stale; }
    void setStale(bool on);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double current = 0;
    bool stale = false;
};

} // namespace kestrel2
