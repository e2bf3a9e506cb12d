#include "UpdatePage.h"

#include "ImageFiles.h"
#include "MainWindowServices.h"
#include "Y5ProtocolHandler.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSpacerItem>
#include <QVBoxLayout>

namespace {

const char* const kWorkingDirectory = "WorkingDirectory";

QString messageText(const ImageFileMessage& m)
{
    return m.translated ? QCoreApplication::translate("UpdatePage", m.text.toUtf8().constData()) : m.text;
}

QLabel* addRow(QGridLayout* grid, int row, const QString& caption, QLabel** captionOut = nullptr)
{
    auto* c = new QLabel(caption);
    auto* v = new QLabel;
    grid->addWidget(c, row, 0);
    grid->addWidget(v, row, 1);
    if (captionOut)
        *captionOut = c;
    return v;
}

} // namespace

UpdatePage::UpdatePage(CSntcMap* sentenceMap, Communicator* communicator, QWidget* parent,
                       FeatureSupportTable* featureTable)
    : BasePage(sentenceMap, communicator, parent, featureTable)
{
    setObjectName(QStringLiteral("UpdatePage"));
    chooseFile = [](QWidget* owner, const QString& startDir) {
        return QFileDialog::getOpenFileName(owner, QString(), startDir);
    };
    showMessage = [](QWidget* owner, const QString& text) {
        QMessageBox box(owner);
        box.setText(text);
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
    };

    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("Firmware update"));
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(new QLabel(tr("Firmware of the control unit and of the CAN devices.")));

    // The "New Firmware" values of the Control Unit tab.
    auto* unitGroup = new QGroupBox(tr("New Firmware"));
    auto* unitGrid = new QGridLayout(unitGroup);
    fileValue = addRow(unitGrid, 0, tr("File:"));
    versionValue = addRow(unitGrid, 1, tr("Version:"));
    releaseDateValue = addRow(unitGrid, 2, tr("Release date:"), &releaseDateCaption);
    targetSerialValue = addRow(unitGrid, 3, tr("For device SN:"));
    openFirmwareButton = new QPushButton(tr("Open firmware file..."));
    startUpdateButton = new QPushButton(tr("Start update"));
    startUpdateButton->setEnabled(false);
    unitGrid->addWidget(openFirmwareButton, 4, 0);
    unitGrid->addWidget(startUpdateButton, 4, 1);
    releaseDateCaption->hide();
    releaseDateValue->hide();
    boxLayout->addWidget(unitGroup);

    // The "New firmware" values of the CAN Devices tab.
    auto* canGroup = new QGroupBox(tr("New firmware"));
    auto* canGrid = new QGridLayout(canGroup);
    canFileValue = addRow(canGrid, 0, tr("File:"));
    canVersionValue = addRow(canGrid, 1, tr("Version:"));
    canReleaseDateValue = addRow(canGrid, 2, tr("Release date:"), &canReleaseDateCaption);
    targetDeviceValue = addRow(canGrid, 3, tr("Target device:"));
    openCanFirmwareButton = new QPushButton(tr("Open firmware file"));
    canGrid->addWidget(openCanFirmwareButton, 4, 0, 1, 2);
    canReleaseDateCaption->hide();
    canReleaseDateValue->hide();
    boxLayout->addWidget(canGroup);

    connect(openFirmwareButton, &QPushButton::clicked, this, &UpdatePage::slotOpenFirmwareFileClicked);
    connect(openCanFirmwareButton, &QPushButton::clicked, this, &UpdatePage::slotCanDevicesOpenFirmware);

    // Room for the page's content while it is being built; it may shrink.
    boxLayout->addSpacerItem(new QSpacerItem(880, 300, QSizePolicy::Preferred, QSizePolicy::Expanding));
    layout->addWidget(box);
}

void UpdatePage::versionReceived(const QString&) {}

void UpdatePage::connectionStatusChanged(bool linked)
{
    connected = linked;
}

void UpdatePage::setControlsEnabled(bool enabled)
{
    m_controlsEnabled = enabled;
}

QString UpdatePage::askForFirmwareFile()
{
    QSettings settings;
    const QString start = settings.value(QLatin1String(kWorkingDirectory), QCoreApplication::applicationDirPath())
                              .toString();
    const QString path = chooseFile ? chooseFile(this, start) : QString();
    if (path.isEmpty())
        return QString();
    settings.setValue(QLatin1String(kWorkingDirectory), QFileInfo(path).absolutePath());
    return path;
}

void UpdatePage::resetNewFirmware()
{
    fileValue->clear();
    versionValue->clear();
    targetSerialValue->clear();
    startUpdateButton->setEnabled(false);
    releaseDateCaption->hide();
    releaseDateValue->hide();
    controlUnitImage.clear();
    controlUnitImageVersion.clear();
}

void UpdatePage::slotOpenFirmwareFileClicked(bool)
{
    const QString path = askForFirmwareFile();
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (showMessage)
            showMessage(this, QString::fromLatin1(ImageFileText::kCouldNotOpen));
        resetNewFirmware();
        return;
    }
    controlUnitImage.clear();
    controlUnitImageVersion.clear();
    releaseDateCaption->hide();
    releaseDateValue->hide();
    fileValue->setText(path);

    Y5ProtocolHandler* handler = g_mainWindow ? g_mainWindow->protocolHandler() : nullptr;
    const QString kind = handler ? handler->deviceKind() : QString();
    const quint32 serial = g_mainWindow ? g_mainWindow->bmsSerialNumber() : 0;
    const ControlUnitImageFile r = readControlUnitImage(file, kind, serial);
    file.close();
    if (!r.ok) {
        if (showMessage)
            showMessage(this, messageText(r.message));
        resetNewFirmware();
        return;
    }
    versionValue->setText(r.versionValue);
    targetSerialValue->setText(r.serialValue);
    releaseDateValue->setText(r.releaseDateValue);
    releaseDateCaption->setVisible(r.showReleaseDate);
    releaseDateValue->setVisible(r.showReleaseDate);
    controlUnitImage = r.image;
    controlUnitImageVersion = r.versionText;
    if (connected)
        startUpdateButton->setEnabled(true);
}

bool UpdatePage::openCanFirmwareFile()
{
    const QString path = askForFirmwareFile();
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (showMessage)
            showMessage(this, messageText({QString::fromLatin1(ImageFileText::kCouldNotOpen), true}));
        return false;
    }
    const CanImageFile r = readCanImage(file);
    file.close();
    for (const ImageFileMessage& m : r.messages)
        if (showMessage)
            showMessage(this, messageText(m));
    if (r.outcome == CanImageFile::Unchanged)
        return false;
    canImage = r.image;
    canProductCode = r.productCode;
    targetDeviceValue->setText(r.targetKnown && canDeviceDescriber ? canDeviceDescriber(r.descriptionCode)
                                                                   : QString());
    canVersionValue->setText(r.versionValue);
    canFileValue->setText(file.fileName());
    canReleaseDateValue->setText(r.releaseDateValue);
    canReleaseDateCaption->setVisible(r.showReleaseDate);
    canReleaseDateValue->setVisible(r.showReleaseDate);
    return r.ok();
}

void UpdatePage::slotCanDevicesOpenFirmware()
{
    canImageLoaded = openCanFirmwareFile();
}

void UpdatePage::slotCanDevicesProgress(int) {}
void UpdatePage::slotCanDevicesStatusUpdate(int, int) {}
void UpdatePage::slotCanDevicesStatusUpdate(int, int, QString) {}
void UpdatePage::slotCanDeviceOperationStatus(int, int) {}
void UpdatePage::slotConfigParamUpdate(int, uint32_t) {}
