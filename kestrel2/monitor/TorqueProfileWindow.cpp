#include "TorqueProfileWindow.h"

#include "StatusMap.h"
#include "TorqueProfileData.h"
#include "WindowPrinter.h"
#include "config/ParameterMap.h"
#include "link/RegisterAccess.h"
#include "main/DialogService.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QVBoxLayout>
#include <QValueAxis>
#include <optional>

namespace kestrel2 {

namespace {

const QColor OpenStrokeColour(0, 110, 200);
const QColor ClosedStrokeColour(200, 40, 40);

QLineEdit* displayField(const QString& name, int minimumCharacters)
{
    auto* field = new QLineEdit;
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QString(minimumCharacters, QLatin1Char('0'))) + 14);
    return field;
}

// A caption whose run of blanks holds a text box, "Open torque switch set at:
// [  ] % rated": the caption keeps its exact text and the field sits over the blanks.
class CaptionWithField : public QWidget {
public:
    CaptionWithField(const QString& caption, QLineEdit* field) : text(caption), box(field)
    {
        label = new QLabel(caption, this);
        box->setParent(this);
        box->setAlignment(Qt::AlignCenter);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override
    {
        return {label->sizeHint().width(), std::max(label->sizeHint().height(), box->sizeHint().height())};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        const QFontMetrics fm(label->font());
        const int blanks = text.indexOf(QStringLiteral("  "));
        int end = blanks;
        while (end < text.size() && text.at(end) == QLatin1Char(' ')) ++end;
        const int left = fm.horizontalAdvance(text.left(blanks + 1));
        const int width = fm.horizontalAdvance(text.mid(blanks + 1, std::max(1, end - blanks - 2)));
        label->setGeometry(0, 0, label->sizeHint().width(), height());
        box->setGeometry(left, 0, width, height());
    }

private:
    QString text;
    QLabel* label = nullptr;
    QLineEdit* box = nullptr;
};

// A legend line: a short stroke in the series' colour.
QLabel* legendLine(const QColor& colour)
{
    QPixmap sample(36, 12);
    sample.fill(Qt::transparent);
    QPainter painter(&sample);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 3));
    painter.drawLine(2, 6, 34, 6);
    painter.setBrush(colour);
    painter.drawEllipse(QPointF(18, 6), 3.5, 3.5);
    painter.end();
    auto* line = new QLabel;
    line->setPixmap(sample);
    return line;
}

QFont chartTitleFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Bookman Old Style"), QStringLiteral("URW Bookman"),
                      QStringLiteral("URW Bookman L"), QStringLiteral("TeX Gyre Bonum")});
    font.setStyleHint(QFont::Serif);
    font.setPointSize(13);
    font.setBold(true);
    return font;
}

QLineSeries* strokeSeries(const QString& name, const QColor& colour)
{
    auto* series = new QLineSeries;
    series->setName(name);
    series->setPen(QPen(colour, 2.5));
    series->setPointsVisible(true);
    for (int k = 0; k < ProfilePoints; ++k) series->append(10.0 * k, 0);
    return series;
}

} // namespace

FrmChart::FrmChart(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmChart"));
    setWindowTitle(QStringLiteral("Torque Profile:"));

    chart = new QChart;
    chart->setObjectName(QStringLiteral("MSChart1"));
    chart->setTitle(QStringLiteral("Torque last cycle"));
    chart->setTitleFont(chartTitleFont());
    openSeries = strokeSeries(QStringLiteral("Open Stroke"), OpenStrokeColour);
    closedSeries = strokeSeries(QStringLiteral("Closed Stroke"), ClosedStrokeColour);
    chart->addSeries(openSeries);
    chart->addSeries(closedSeries);
    auto* positionAxis = new QValueAxis;
    positionAxis->setTitleText(QStringLiteral("Valve position % open"));
    positionAxis->setRange(0, 100);
    positionAxis->setTickCount(ProfilePoints);
    positionAxis->setLabelFormat(QStringLiteral("%.0f"));
    auto* torqueAxis = new QValueAxis;
    torqueAxis->setTitleText(QStringLiteral("Torque % rated"));
    torqueAxis->setRange(0, TorqueAxisMaximum);
    torqueAxis->setTickCount(7);
    torqueAxis->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(positionAxis, Qt::AlignBottom);
    chart->addAxis(torqueAxis, Qt::AlignLeft);
    for (QLineSeries* series : {openSeries, closedSeries}) {
        series->attachAxis(positionAxis);
        series->attachAxis(torqueAxis);
    }
    // The window's own two legend lines stand beside the chart.
    chart->legend()->hide();
    auto* view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(560, 360);
    chartView = view;

    auto* legend = new QGridLayout;
    auto* label1 = new QLabel(QStringLiteral("Open stroke"));
    label1->setObjectName(QStringLiteral("Label1"));
    auto* label2 = new QLabel(QStringLiteral("Closed stroke"));
    label2->setObjectName(QStringLiteral("Label2"));
    legend->addWidget(legendLine(OpenStrokeColour), 0, 0);
    legend->addWidget(label1, 0, 1);
    legend->addWidget(legendLine(ClosedStrokeColour), 1, 0);
    legend->addWidget(label2, 1, 1);
    legend->setRowStretch(2, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(view, 1);
    top->addLayout(legend);

    auto* text1 = new QLineEdit(QStringLiteral("Tag name:"));
    text1->setObjectName(QStringLiteral("Text1"));
    text1->setReadOnly(true);
    text1->setFrame(false);
    text1->setFocusPolicy(Qt::NoFocus);
    text1->setFixedWidth(text1->fontMetrics().horizontalAdvance(text1->text()) + 10);
    QPalette plain = text1->palette();
    plain.setColor(QPalette::Base, plain.color(QPalette::Window));
    text1->setPalette(plain);
    tagField = displayField(QStringLiteral("TxtTag"), 14);
    dateField = displayField(QStringLiteral("txtDate"), 40);
    openSwitchField = displayField(QStringLiteral("txtOpenTorqueSwitch"), 3);
    closedSwitchField = displayField(QStringLiteral("txtClosedTorqueSwitch"), 3);
    openOperationsField = displayField(QStringLiteral("txtOpenOperations"), 9);
    closedOperationsField = displayField(QStringLiteral("txtClosedOperations"), 9);

    auto* identity = new QHBoxLayout;
    identity->addWidget(text1);
    identity->addWidget(tagField);
    identity->addSpacing(20);
    identity->addWidget(dateField, 1);

    auto* settings = new QGridLayout;
    settings->setHorizontalSpacing(12);
    settings->addWidget(
        new CaptionWithField(QStringLiteral("Open torque switch set at:                        % rated"),
                             openSwitchField),
        0, 0);
    settings->addWidget(
        new CaptionWithField(QStringLiteral("Closed torque switch set at:                      % rated"),
                             closedSwitchField),
        1, 0);
    settings->setColumnMinimumWidth(1, 24);
    settings->addWidget(new QLabel(QStringLiteral("Open contactor operations:")), 0, 2);
    settings->addWidget(openOperationsField, 0, 3);
    settings->addWidget(new QLabel(QStringLiteral("Closed contactor operations:")), 1, 2);
    settings->addWidget(closedOperationsField, 1, 3);
    settings->setColumnStretch(4, 1);

    auto* print = new QPushButton(QStringLiteral("Print"));
    print->setObjectName(QStringLiteral("Command1"));
    connect(print, &QPushButton::clicked, this, &FrmChart::Print);
    auto* saveCsv = new QPushButton(QStringLiteral("Save as CSV..."));
    saveCsv->setObjectName(QStringLiteral("cmdSaveCsv"));
    connect(saveCsv, &QPushButton::clicked, this, &FrmChart::SaveCsv);
    auto* savePng = new QPushButton(QStringLiteral("Save as PNG..."));
    savePng->setObjectName(QStringLiteral("cmdSavePng"));
    connect(savePng, &QPushButton::clicked, this, &FrmChart::SavePng);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(saveCsv);
    buttons->addWidget(savePng);
    buttons->addWidget(print);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->addLayout(top, 1);
    layout->addLayout(identity);
    layout->addLayout(settings);
    layout->addLayout(buttons);
    setCentralWidget(central);
}

QList<double> FrmChart::openStroke() const
{
    QList<double> values;
    for (const QPointF& p : openSeries->points()) values.append(p.y());
    return values;
}

QList<double> FrmChart::closedStroke() const
{
    QList<double> values;
    for (const QPointF& p : closedSeries->points()) values.append(p.y());
    return values;
}

void FrmChart::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) tracker.follow(this, [this] { ActivateWindow(); });
}

void FrmChart::ActivateWindow()
{
    if (activationRunning) {
        activationRequested = true;
        return;
    }
    runActivation();
}

void FrmChart::runActivation()
{
    const QPointer<FrmChart> self(this);
    activationRunning = true;
    do {
        activationRequested = false;
        if (!readAll()) {
            if (self) activationRunning = false;
            return;
        }
    } while (activationRequested);
    activationRunning = false;
}

bool FrmChart::readAll()
{
    const QPointer<FrmChart> self(this);
    auto read = [&](int reference, int count) -> std::optional<QList<qint32>> {
        auto values = ReadBlock(reference, count);
        if (!self) return std::nullopt;
        return values;
    };

    const auto open = read(OpenStrokeRegister, ProfilePoints);
    if (!open) return false;
    for (int k = 0; k < ProfilePoints; ++k) openSeries->replace(k, QPointF(10.0 * k, open->at(k)));
    const auto closed = read(ClosedStrokeRegister, ProfilePoints);
    if (!closed) return false;
    for (int k = 0; k < ProfilePoints; ++k) closedSeries->replace(k, QPointF(10.0 * k, closed->at(k)));

    const auto switches = read(TorqueSwitchRegister, TorqueSwitchCount);
    if (!switches) return false;
    closedSwitchField->setText(QString::number(switches->at(0)));
    openSwitchField->setText(QString::number(switches->at(1)));

    const auto operations = read(OperationsRegister, OperationsCount);
    if (!operations) return false;
    closedOperationsField->setText(OperationCountText(operations->at(0), operations->at(1)));
    openOperationsField->setText(OperationCountText(operations->at(2), operations->at(3)));

    const auto block = read(ProfileTagBlockRegister, ProfileTagBlockCount);
    if (!block) return false;
    tagField->setText(
        DisplayableTagName(DecodeTagName(block->mid(ProfileTagFirstElement - 1, TagNameRegisters))));

    lastRead = QDateTime::currentDateTime();
    dateField->setText(FormatDateStamp(lastRead));
    return true;
}

void FrmChart::Print()
{
    DialogService& dialogs = DialogService::instance();
    const QString question =
        QStringLiteral("Make sure that device ") + WindowPrinter::CurrentPrinterName() + QStringLiteral(" is ready");
    if (dialogs.message(question, DialogButtons::OkCancel, DialogIcon::None, QStringLiteral("Confirmation")) !=
        DialogAnswer::Ok)
        return;

    // Where the system has no printer the job goes into a PDF file the user names.
    QString pdfPath;
    if (!WindowPrinter::HasPrinter()) {
        pdfPath = WithDefaultSuffix(dialogs.fileName(FileDialogKind::Save, QStringLiteral("Print to PDF"),
                                                     QStringLiteral("torque-profile.pdf"),
                                                     QStringLiteral("PDF files (*.pdf)"), this),
                                    QStringLiteral("pdf"));
        if (pdfPath.isEmpty()) return;
    }
    if (WindowPrinter::Print(grab().toImage(), pdfPath) != WindowPrinter::Result::Printed)
        dialogs.message(QStringLiteral("An error has occurred.  Make sure your selected printer can print graphics."),
                        DialogButtons::Ok, DialogIcon::None, QStringLiteral("Error"));
}

namespace {
void reportNotSaved(const QString& path)
{
    DialogService::instance().message(QStringLiteral("The file could not be saved:\r\n") + path, DialogButtons::Ok,
                                      DialogIcon::Warning);
}
} // namespace

void FrmChart::SaveCsv()
{
    const QString path = WithDefaultSuffix(
        DialogService::instance().fileName(FileDialogKind::Save, QStringLiteral("Save torque profile as CSV"),
                                           QStringLiteral("torque-profile.csv"), QStringLiteral("CSV files (*.csv)"),
                                           this),
        QStringLiteral("csv"));
    if (path.isEmpty()) return;
    QSaveFile file(path);
    const QByteArray csv = ProfileCsv(tagField->text(), lastRead, openStroke(), closedStroke()).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit()) reportNotSaved(path);
}

void FrmChart::SavePng()
{
    const QString path = WithDefaultSuffix(
        DialogService::instance().fileName(FileDialogKind::Save, QStringLiteral("Save torque profile as PNG"),
                                           QStringLiteral("torque-profile.png"), QStringLiteral("PNG images (*.png)"),
                                           this),
        QStringLiteral("png"));
    if (path.isEmpty()) return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !ChartImage().save(&file, "PNG") || !file.commit())
        reportNotSaved(path);
}

QImage FrmChart::ChartImage() const
{
    const QImage plot = chartView->grab().toImage();
    const QFontMetrics fm(font());
    const int strip = fm.height() + 12;
    QImage image(plot.width(), plot.height() + strip, QImage::Format_RGB32);
    image.fill(plot.isNull() ? QColor(Qt::white) : plot.pixelColor(0, plot.height() - 1));  // the chart's own ground
    QPainter painter(&image);
    painter.drawImage(0, 0, plot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font());
    // The window's legend stands beside the chart; the picture carries its own.
    int x = 12;
    const int y = plot.height() + strip / 2;
    for (const auto& [name, colour] : {std::pair{QStringLiteral("Open stroke"), OpenStrokeColour},
                                       std::pair{QStringLiteral("Closed stroke"), ClosedStrokeColour}}) {
        painter.setPen(QPen(colour, 3));
        painter.drawLine(x, y, x + 30, y);
        x += 36;
        painter.setPen(Qt::black);
        painter.drawText(QPoint(x, y + fm.ascent() / 2 - 1), name);
        x += fm.horizontalAdvance(name) + 24;
    }
    return image;
}

} // namespace kestrel2
