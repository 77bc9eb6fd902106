#pragma once
// The torque profile window: the torque along the last opening and closing
// strokes, the torque switch settings, the contactor operation counts, the
// tag name and the time of the display. Reads the actuator each time it
// becomes the active window; prints its own image, saves the profile as CSV
// and the chart as PNG.
#include "ActivationTracker.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QMainWindow>

class QChart;
class QChartView;
class QLineEdit;
class QLineSeries;
class QPushButton;

namespace kestrel2 {

class FrmChart : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmChart(QWidget* parent = nullptr);

    // Reads the five blocks and fills the chart and fields; a failed read ends
    // it, leaving the fields not yet filled as they were. Runs from the
    // window's activation events; tests may call it directly.
    void ActivateWindow();
    // Command1: asks, then prints the window's image on the current printer.
    void Print();
    // Save the profile through a file dialog: a CSV table (led by the tag name and
    // the time of reading), or the chart with its legend as a PNG picture.
    void SaveCsv();
    void SavePng();
    // The chart alone, with the legend of its two strokes under it.
    QImage ChartImage() const;
    // When the blocks shown were read; invalid until an activation has read them all.
    QDateTime readAt() const { return lastRead; }

    // The torque values the chart shows, row 1 (0 %) first.
    QList<double> openStroke() const;
    QList<double> closedStroke() const;
    QChart* MSChart1() const { return chart; }
    QLineEdit* TxtTag() const { return tagField; }
    QLineEdit* txtDate() const { return dateField; }
    QLineEdit* txtOpenTorqueSwitch() const { return openSwitchField; }
    QLineEdit* txtClosedTorqueSwitch() const { return closedSwitchField; }
    QLineEdit* txtOpenOperations() const { return openOperationsField; }
    QLineEdit* txtClosedOperations() const { return closedOperationsField; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void runActivation();
    bool readAll();

    QChart* chart = nullptr;
    QChartView* chartView = nullptr;
    QDateTime lastRead;
    QLineSeries* openSeries = nullptr;
    QLineSeries* closedSeries = nullptr;
    QLineEdit* tagField = nullptr;
    QLineEdit* dateField = nullptr;
    QLineEdit* openSwitchField = nullptr;
    QLineEdit* closedSwitchField = nullptr;
    QLineEdit* openOperationsField = nullptr;
    QLineEdit* closedOperationsField = nullptr;

    ActivationTracker tracker;
    bool activationRunning = false;
    bool activationRequested = false;
};

} // namespace kestrel2
