#include "DisplayUnit.h"

#include "DisplayConfig.h"
#include "DisplayImage.h"
#include "MainWindowServices.h"
#include "Parser.h"
#include "Proto.h"
#include "Tip.h"
#include "myRadioBox.h"
#include "usbport.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace {
const QString kTitleConnected = QStringLiteral("BMS Display Unit - Connected");
const QString kTitleDisconnected = QStringLiteral("BMS Display Unit - Disconnected");
constexpr int kIdentifyMs = 500;
constexpr int kUpgradeStartMs = 5000;
const QString kPanelStyle = QStringLiteral("QGroupBox::title {padding-left: 6px;}");

QString fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}
}

DisplayUnit::DisplayUnit(QWidget* parent) : QWidget(parent)
{
    QPalette pal = palette();
    pal.setColor(QPalette::All, QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    setWindowTitle(kTitleDisconnected);
    setFixedSize(620, 270);

    portObject = new usbport;
    proto = new Proto(portObject);
    registry = new config;
    buildWidgets();
    parser = new Parser(proto, this, registry);

    imageData = new QByteArray;
    upgradeTimer = new QTimer;
    connect(upgradeTimer, &QTimer::timeout, this, [this] {
        setControlsEnabled(!f.bootSeen, true);
        parser->abortUpgrade();
    });

    identifyTimer = new QTimer;
    connect(identifyTimer, &QTimer::timeout, this, &DisplayUnit::identified);

    connect(proto, &Proto::serialConnection, this, [this](bool present) {
        if (!present)
            return;
        f.answered = false;
        proto->sendPacket(Packet{CmdIdentify, QByteArray()});
        identifyTimer->start(kIdentifyMs);
    }, Qt::DirectConnection);

    installEventFilter(this);
}

DisplayUnit::~DisplayUnit()
{
    removeEventFilter(this);
    slider->removeEventFilter(this);
    identifyTimer->stop();
    upgradeTimer->stop();
    portObject->stop();
    delete identifyTimer;
    delete upgradeTimer;
    delete parser;
    delete proto;
    delete portObject;
    delete registry;
    delete imageData;
}

void DisplayUnit::identified()
{
    identifyTimer->stop();
    if (f.answered && !f.upgradeRequested) {
        setWindowTitle(kTitleConnected);
        setControlsEnabled(true, true);
    } else {
        setWindowTitle(kTitleDisconnected);
        setControlsEnabled(false, false);
        portObject->rejectCurrentPort();
    }
}

void DisplayUnit::buildWidgets()
{
    auto* grid = new QGridLayout(this);
    grid->setSpacing(10);
    grid->setColumnMinimumWidth(0, 380);
    grid->setColumnStretch(1, 1);
    grid->setContentsMargins(5, 0, 0, 0);

    auto* infoBox = new QGroupBox;
    infoBox->setObjectName(QStringLiteral("not_bold"));
    infoBox->setStyleSheet(kPanelStyle);
    auto* info = new QGridLayout(infoBox);
    versionLabel = new QLabel;
    serialLabel = new QLabel;
    info->addWidget(new QLabel(tr("Firmware version:")), 0, 0);
    info->addWidget(versionLabel, 0, 1);
    info->addWidget(new QLabel(tr("Serial number:")), 1, 0);
    info->addWidget(serialLabel, 1, 1);
    if (g_factoryMode) {
        burn = new QPushButton(tr("Burn SN"));
        serialEdit = new QLineEdit;
        serialEdit->setValidator(new QRegularExpressionValidator(
            QRegularExpression(QStringLiteral("[0-9a-fA-F]{8}")), serialEdit));
        info->addWidget(burn, 2, 0);
        info->addWidget(serialEdit, 2, 1);
        connect(burn, &QPushButton::clicked, this, &DisplayUnit::burnSerialNumber);
        setFixedSize(620, 300);
    }
    grid->addWidget(infoBox, 0, 0);

    auto* upgradeBox = new QGroupBox;
    upgradeBox->setObjectName(QStringLiteral("not_bold"));
    upgradeBox->setStyleSheet(kPanelStyle);
    auto* up = new QGridLayout(upgradeBox);
    fileLabel = new QLabel;
    imageVersion = new QLabel;
    releaseDate = new QLabel;
    up->addWidget(new QLabel(tr("Filename:")), 0, 0);
    up->addWidget(fileLabel, 0, 1);
    up->addWidget(new QLabel(tr("Version:")), 1, 0);
    up->addWidget(imageVersion, 1, 1);
    up->addWidget(new QLabel(tr("Release date:")), 2, 0);
    up->addWidget(releaseDate, 2, 1);
    auto* buttons = new QHBoxLayout;
    upload = new QPushButton(tr("Upload image"));
    upgrade = new QPushButton(tr("Start upgrade"));
    upload->setEnabled(false);
    upgrade->setEnabled(false);
    buttons->addWidget(upload);
    buttons->addWidget(upgrade);
    up->addLayout(buttons, 3, 0, 1, 2);
    progress = new QProgressBar;
    progress->setObjectName(QStringLiteral("displayUpdateProgress"));
    progress->setAlignment(Qt::AlignCenter);
    progress->setFormat(QStringLiteral("%p %"));
    progress->setValue(0);
    up->addWidget(progress, 4, 0, 1, 2);
    grid->addWidget(upgradeBox, 1, 0);
    connect(upload, &QPushButton::clicked, this, &DisplayUnit::extractMetaData);
    connect(upgrade, &QPushButton::clicked, this, &DisplayUnit::startUpgrade);
    connect(this, &DisplayUnit::updateProgress, progress, &QProgressBar::setValue);

    settings = new QGroupBox;
    settings->setObjectName(QStringLiteral("not_bold"));
    settings->setStyleSheet(kPanelStyle);
    settings->setEnabled(false);
    auto* set = new QGridLayout(settings);
    slider = new QSlider(Qt::Horizontal);
    slider->setRange(0, 255);
    slider->setObjectName(QStringLiteral("displayContrast"));
    slider->installEventFilter(this);
    set->addWidget(new QLabel(tr("Contrast:")), 0, 0);
    set->addWidget(slider, 0, 1, 1, 2);
    sleepEdit = new QLineEdit;
    sleepEdit->setValidator(new QIntValidator(0, 599940, sleepEdit));
    sleepEdit->setAlignment(Qt::AlignRight);
    sleepEdit->setMaximumWidth(40);
    sleepEdit->setMaxLength(10);
    new Tip(sleepEdit,
            tr("Sets time interval after which display goes to sleep.<br />To prevent display from sleeping input "
               "<strong>'0'</strong>."),
            1, 200, 10000, 0);
    set->addWidget(new QLabel(tr("Sleep after:")), 1, 0);
    set->addWidget(sleepEdit, 1, 1);
    set->addWidget(new QLabel(QStringLiteral("s")), 1, 2);
    const QString smallBox = QStringLiteral("QGroupBox {font-weight: 0; font-size: 8pt;}");
    auto* unitsGroup = new QGroupBox(tr("Temperature units"));
    unitsGroup->setStyleSheet(smallBox);
    units = new myRadioBox;
    units->addOption(tr("Celsius, ° C"), 0, 0, 0);
    units->addOption(tr("Fahrenheit, ° F"), 1, 0, 1);
    (new QVBoxLayout(unitsGroup))->addWidget(units);
    set->addWidget(unitsGroup, 2, 0, 1, 3);
    auto* modeGroup = new QGroupBox(tr("Display mode"));
    modeGroup->setStyleSheet(smallBox);
    mode = new myRadioBox;
    mode->addOption(tr("Electric vehicle"), 0, 0, 0);
    mode->addOption(tr("Energy storage"), 1, 0, 1);
    (new QVBoxLayout(modeGroup))->addWidget(mode);
    set->addWidget(modeGroup, 3, 0, 1, 3);
    grid->addWidget(settings, 0, 1, 2, 1);

    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setStyleSheet(QStringLiteral("QFrame { color: #dcdcdc; }"));
    grid->addWidget(line, 2, 0, 1, 2);
    status = new QStatusBar;
    status->setStyleSheet(QStringLiteral("QStatusBar { font-family: \"Myriad\"; font-size: 8pt; }"));
    status->setSizeGripEnabled(false);
    status->setFixedHeight(14);
    grid->addWidget(status, 3, 0, 1, 2);

    registry->registerParam(1, config::Label, versionLabel);
    registry->registerParam(0, config::Label, serialLabel);
    registry->registerParam(6, config::Slider, slider);
    registry->registerParam(2, config::LineEdit, sleepEdit);
    registry->registerParam(3, config::RadioBox, units);
    registry->registerParam(4, config::RadioBox, mode);

    connect(slider, &QSlider::valueChanged, this, [this] { writeParam(6); });
    connect(units, &myRadioBox::indexChanged, this, [this] { writeParam(3); });
    connect(mode, &myRadioBox::indexChanged, this, [this] { writeParam(4); });
    connect(sleepEdit, &QLineEdit::returnPressed, this, &DisplayUnit::sleepTimeEntered);
}

void DisplayUnit::sleepTimeEntered()
{
    const int v = sleepEdit->text().toInt();
    // The unit cannot sleep after less than 5 s: such a value means never.
    if (v >= 1 && v <= 4)
        sleepEdit->setText(QStringLiteral("0"));
    writeParam(2);
}

void DisplayUnit::openConfigPage()
{
    portObject->start();
    portObject->startScan();
    f.answered = false;
    if (portObject->isConnected())
        proto->sendPacket(Packet{CmdIdentify, QByteArray()});
    show();
    raise();
}

QString DisplayUnit::askImageFile()
{
    return QFileDialog::getOpenFileName(this, tr("Open image"), QDir::currentPath(), tr("Image files *.img"));
}

void DisplayUnit::warn(bool onWindow, const QString& title, const QString& text)
{
    if (onWindow) {
        QMessageBox::warning(this, title, text, QMessageBox::Ok);
    } else {
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok);
        box.exec();
    }
}

bool DisplayUnit::confirmSerialBurn()
{
    QMessageBox box;
    box.setWindowTitle(tr("One-Time serial number programming"));
    box.setIcon(QMessageBox::Information);
    box.setText(tr("Are you sure this serial number is correct?"));
    box.addButton(tr("Cancel"), QMessageBox::NoRole);
    QPushButton* apply = box.addButton(tr("Apply"), QMessageBox::YesRole);
    box.exec();
    return box.clickedButton() == apply;
}

void DisplayUnit::showInvalidImage()
{
    imageVersion->clear();
    releaseDate->clear();
    fileLabel->clear();
    warn(false, tr("Incorrect firmware file"), tr("Provided firmware file is invalid."));
}

void DisplayUnit::extractMetaData()
{
    const QString path = askImageFile();
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        warn(true, tr("Runtime error"), tr("Cannot open ") + fileNameOf(path) + tr(" file."));
        return;
    }
    imagePath = path;
    fileLabel->setText(fileNameOf(path));
    const QByteArray bytes = file.readAll();
    const DisplayImageHeader header = readDisplayImageHeader(bytes);
    // A file without a body, or one that would not fit the unit's flash,
    // is refused here rather than after the unit's application was erased.
    if (!header.valid || !isDisplayImageBodyUsable(displayImageBody(bytes))) {
        showInvalidImage();
        return;
    }
    imageVersion->setText(header.version);
    releaseDate->setText(header.releaseDate);
}

void DisplayUnit::startUpgrade()
{
    if (fileLabel->text().isEmpty())
        return;
    QFile file(imagePath);
    if (!file.open(QIODevice::ReadOnly)) {
        warn(true, tr("Runtime error"), tr("Cannot open ") + fileLabel->text() + tr(" file."));
        return;
    }
    const QByteArray body = displayImageBody(file.readAll());
    file.close();
    // The file may have changed since it was checked.
    if (!isDisplayImageBodyUsable(body)) {
        showInvalidImage();
        return;
    }
    *imageData = body;
    upgradeTimer->start(kUpgradeStartMs);
    f.upgradeRequested = true;
    setControlsEnabled(false, false);
    proto->sendPacket(Packet{CmdIdentify, QByteArray()});
}

void DisplayUnit::burnSerialNumber()
{
    if (!serialEdit || serialEdit->text().size() != 8)
        return;
    bool ok = false;
    const quint32 serial = serialEdit->text().toUInt(&ok, 16);
    if (!ok || !confirmSerialBurn())
        return;
    QByteArray payload;
    appendLe32(payload, 1);
    appendLe32(payload, 0);
    appendLe32(payload, serial);
    proto->sendPacket(Packet{CmdParam, payload});
}

void DisplayUnit::writeParam(int id)
{
    int value = 0;
    if (registry->paramValue(id, &value) != 0)
        return;
    QByteArray payload;
    appendLe32(payload, 1);
    appendLe32(payload, quint32(id));
    appendLe32(payload, quint32(value));
    proto->sendPacket(Packet{CmdParam, payload});
}

void DisplayUnit::setControlsEnabled(bool settingsOn, bool upgradeOn)
{
    upgrade->setEnabled(upgradeOn);
    upload->setEnabled(upgradeOn);
    settings->setEnabled(settingsOn);
    if (!settingsOn) {
        serialLabel->clear();
        sleepEdit->clear();
        versionLabel->clear();
        {
            // Clearing the panel is not a contrast the user chose.
            QSignalBlocker block(slider);
            slider->setValue(0);
        }
        units->setIndex(0);
        mode->setIndex(0);
    }
    slider->setEnabled(settingsOn);
    sleepEdit->setEnabled(settingsOn);
}

void DisplayUnit::stopPort()
{
    portObject->stop();
}

void DisplayUnit::stopPortScan()
{
    portObject->stopScan();
}

void DisplayUnit::pageLeft()
{
    // An upgrade cut off halfway would leave the unit in its boot loader: it
    // ends on its own (done or timed out).
    if (upgradeTimer->isActive())
        portObject->stopScan();
    else
        stopPort();
}

void DisplayUnit::pageReturned()
{
    if (!portObject->isStarted())
        openConfigPage();
}

bool DisplayUnit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == this && event->type() == QEvent::Close) {
        f.upgradeRequested = false;
        f.answered = false;
        emit windowClosed();
    } else if (watched == slider && event->type() == QEvent::MouseButtonPress && slider->isEnabled()) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) {
            const double width = slider->width();
            double x = std::round(me->localPos().x());
            if (x < 6.5)
                x = 6;
            else if (x > width - 6.5)
                x = std::trunc(width - 6.5);
            const int span = slider->maximum() - slider->minimum();
            int value = slider->minimum() + int((x - 6.5) / (width - 13) * span);
            if (slider->invertedAppearance())
                value = slider->maximum() - value;
            slider->setValue(value);
            event->accept();
        }
    }
    return QObject::eventFilter(watched, event);
}
