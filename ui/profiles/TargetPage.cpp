#include "ui/profiles/TargetPage.h"

#include "data/Table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <algorithm>
#include <utility>

namespace cvb {

TargetPage::TargetPage(const Controls &controls, ProfileDraft &draft, QObject *parent)
    : ProfilePage(parent), controls_(controls), draft_(draft), model_(new QFileSystemModel(this))
{
    model_->setFilter(QDir::AllDirs | QDir::NoDot);
    controls_.folder->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    controls_.folders->setModel(model_);
    connect(controls_.folders, &QListView::doubleClicked, this,
            [this](const QModelIndex &index) { setCurrentFolder(model_->filePath(index)); });
    listDrives();
    connect(controls_.drives, &QComboBox::activated, this,
            [this](int index) { setCurrentFolder(controls_.drives->itemText(index)); });
    setCurrentFolder(QDir::currentPath());

    const std::pair<QRadioButton *, VersionPolicy> policies[] = {
        {controls_.replace, VersionPolicy::Replace},
        {controls_.dateStamp, VersionPolicy::DateStamp},
        {controls_.rotate, VersionPolicy::Rotate}};
    for (const auto &[button, policy] : policies) {
        connect(button, &QRadioButton::clicked, this, [this, policy = policy] {
            draft_.write([policy](Table &record) { storeVersionPolicy(record, policy); });
        });
    }
    connect(controls_.email, &QCheckBox::clicked, this, [this](bool on) {
        controls_.address->setEnabled(on);
        draft_.writeField(QStringLiteral("EMAIL"), on);
    });
    connect(controls_.address, &QLineEdit::textEdited, this,
            [this](const QString &text) { draft_.writeField(QStringLiteral("EM_ADDR"), text); });
    connect(controls_.summary, &QRadioButton::clicked, this,
            [this] { draft_.writeField(QStringLiteral("DETAI_EMAI"), false); });
    connect(controls_.detailed, &QRadioButton::clicked, this,
            [this] { draft_.writeField(QStringLiteral("DETAI_EMAI"), true); });
}

QString TargetPage::problem() const
{
    return targetProblem(folder_);
}

void TargetPage::store()
{
    draft_.record().setString(QStringLiteral("TARGET_LOC"), folder_);
}

void TargetPage::show()
{
    const Table &record = draft_.record();
    controls_.email->setChecked(record.asBool(QStringLiteral("EMAIL")));
    controls_.address->setText(record.asString(QStringLiteral("EM_ADDR")));
    controls_.address->setEnabled(controls_.email->isChecked());
}

void TargetPage::setCurrentFolder(const QString &folder)
{
    folder_ = QDir::cleanPath(QDir(folder).absolutePath());
    // A long path is shown shortened in the middle; the whole of it is the label's hint.
    QLabel *label = controls_.folder;
    label->setText(label->fontMetrics().elidedText(folder_, Qt::ElideMiddle, std::max(label->width(), 180)));
    label->setToolTip(folder_);
    controls_.folders->setRootIndex(model_->setRootPath(folder_));
    const QSignalBlocker quiet(controls_.drives);
    const int drive = controls_.drives->findText(QStorageInfo(folder_).rootPath());
    if (drive >= 0)
        controls_.drives->setCurrentIndex(drive);
}

void TargetPage::listDrives()
{
    QStringList drives{QStorageInfo::root().rootPath()};
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        // A file mounted on its own (as containers do with /etc/hosts) is no drive.
        if (volume.isValid() && volume.isReady() && QFileInfo(volume.rootPath()).isDir() &&
            !drives.contains(volume.rootPath()))
            drives << volume.rootPath();
    }
    controls_.drives->addItems(drives);
}

void TargetPage::showVersionPolicy(VersionPolicy policy)
{
    switch (policy) {
    case VersionPolicy::Replace:
        controls_.replace->setChecked(true);
        break;
    case VersionPolicy::DateStamp:
        controls_.dateStamp->setChecked(true);
        break;
    case VersionPolicy::Rotate:
        controls_.rotate->setChecked(true);
        break;
    }
}

void TargetPage::showStoredOptions()
{
    const Table &record = draft_.record();
    showVersionPolicy(versionPolicyOf(record));
    (record.asBool(QStringLiteral("DETAI_EMAI")) ? controls_.detailed : controls_.summary)->setChecked(true);
    const QString target = record.asString(QStringLiteral("TARGET_LOC"));
    if (!target.isEmpty() && QDir(target).exists())
        setCurrentFolder(target);
}

void TargetPage::enableReportEntries(bool mailServerKnown)
{
    controls_.email->setEnabled(mailServerKnown);
    controls_.address->setEnabled(mailServerKnown && controls_.email->isChecked());
    controls_.reportOptions->setEnabled(mailServerKnown);
}

} // namespace cvb
