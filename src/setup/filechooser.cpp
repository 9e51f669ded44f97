#include "filechooser.h"

#include "colours.h"
#include "tablefile.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QString& tip,
                        std::uint32_t bgr) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(tip);
    setBackColour(button, bgr);
    return button;
}

// Drive1 is read again as it opens, so a volume mounted meanwhile (a USB stick) can be chosen.
class DriveBox : public QComboBox {
public:
    DriveBox(QWidget* parent, std::function<void()> beforeShowing)
        : QComboBox(parent), beforeShowing_(std::move(beforeShowing)) {}
    void showPopup() override {
        beforeShowing_();
        QComboBox::showPopup();
    }

private:
    std::function<void()> beforeShowing_;
};

// Kernel views and memory-backed volumes: nothing a table is saved to.
bool isVirtualFileSystem(const QByteArray& type) {
    static const QList<QByteArray> types = {
        "proc",      "sysfs",   "devpts",      "devtmpfs",   "tmpfs",  "ramfs",    "cgroup",    "cgroup2",
        "mqueue",    "debugfs", "tracefs",     "securityfs", "pstore", "bpf",      "configfs",  "fusectl",
        "hugetlbfs", "autofs",  "binfmt_misc", "rpc_pipefs", "nsfs",   "efivarfs", "selinuxfs", "nfsd"};
    return types.contains(type);
}

// Volumes that may answer slowly or never: only their mount point is shown.
bool isRemoteFileSystem(const QByteArray& type) {
    for (const char* prefix :
         {"nfs", "cifs", "smb", "fuse", "9p", "afs", "ceph", "glusterfs", "davfs", "sshfs"}) {
        if (type.startsWith(prefix)) {
            return true;
        }
    }
    return false;
}

// The table writes a space as \040 and a backslash as \134 (three octal digits).
QString unescapeMountPath(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok && code < 256) {
                out += char(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return QString::fromUtf8(out);
}

}  // namespace

FileChooser::FileChooser(QWidget* parent, VolumeSource volumes)
    : QFrame(parent), volumes_(std::move(volumes)) {
    setObjectName(QStringLiteral("fileChooser"));
    setFrameShape(QFrame::StyledPanel);

    label13_ = new QLabel(QStringLiteral("Data Save to or Load from File"), this);
    label13_->setTextFormat(Qt::PlainText);
    label13_->setObjectName(QStringLiteral("Label13"));
    setBackColour(label13_, bgrFromRgb(224, 224, 224));

    txtFileName_ = new QLineEdit(this);
    txtFileName_->setObjectName(QStringLiteral("txtFileName"));
    txtFileName_->setToolTip(QStringLiteral("Table data file name(xxx.txt)"));

    drive1_ = new DriveBox(this, [this] { fillDrives(); });
    drive1_->setObjectName(QStringLiteral("Drive1"));
    dir1_ = new QListWidget(this);
    dir1_->setObjectName(QStringLiteral("Dir1"));
    file1_ = new QListWidget(this);
    file1_->setObjectName(QStringLiteral("File1"));
    for (QListWidget* list : {dir1_, file1_}) {
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setMinimumWidth(140);
    }

    cmdWrite_ = makeButton(this, "cmdWrite", QStringLiteral("Save to File"),
                           QStringLiteral("Save data table to the file(xxx.txt)"), bgrFromRgb(255, 192, 128));
    cmdRead_ =
        makeButton(this, "cmdRead", QStringLiteral("Load from File"),
                   QStringLiteral("Load data table from the file(xxx.txt) "), bgrFromRgb(128, 255, 128));

    auto* browse = new QGridLayout;
    browse->addWidget(drive1_, 0, 0);
    browse->addWidget(dir1_, 1, 0);
    browse->addWidget(file1_, 0, 1, 2, 1);
    browse->setRowStretch(1, 1);
    browse->setColumnStretch(0, 1);
    browse->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdWrite_);
    buttons->addWidget(cmdRead_);

    auto* area = new QVBoxLayout(this);
    area->addWidget(label13_);
    area->addWidget(txtFileName_);
    area->addLayout(browse, 1);
    area->addLayout(buttons);

    connect(cmdWrite_, &QPushButton::clicked, this, &FileChooser::saveClicked);
    connect(cmdRead_, &QPushButton::clicked, this, &FileChooser::loadClicked);
    // `activated` is the operator's choice only, so following a folder onto another volume can
    // update Drive1 without navigating again.
    connect(drive1_, &QComboBox::activated, this, &FileChooser::chooseDrive);
    connect(dir1_, &QListWidget::itemActivated, this, &FileChooser::folderActivated);
    // Selection rather than the current item: tabbing into the list makes an item current
    // without the operator choosing it, and that must not overwrite a typed name.
    connect(file1_, &QListWidget::itemClicked, this, &FileChooser::fileClicked);
    connect(file1_, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> chosen = file1_->selectedItems();
        if (!chosen.isEmpty()) {
            fileClicked(chosen.first());
        }
    });

    fillDrives();
    setDirPath(QDir::currentPath());
}

QString FileChooser::dirPath() const {
    return QDir::toNativeSeparators(dir_);
}

void FileChooser::setDirPath(const QString& path) {
    const QDir dir(path);
    if (path.isEmpty() || !dir.exists() || !dir.isReadable()) {
        emit folderUnavailable(QDir::toNativeSeparators(path));
        return;
    }
    const QString absolute = QDir::cleanPath(dir.absolutePath());
    const bool changed = absolute != dir_;
    dir_ = absolute;
    fillFolders();
    refreshFiles();
    showDriveOf(dir_);
    if (changed) {
        emit dirPathChanged(dirPath());
    }
}

QString FileChooser::selectedFileName() const {
    const QList<QListWidgetItem*> chosen = file1_->selectedItems();
    return chosen.isEmpty() ? QString() : chosen.first()->text();
}

QString FileChooser::fileNameText() const {
    return txtFileName_->text();
}

void FileChooser::setFileNameText(const QString& text) {
    txtFileName_->setText(text);
}

void FileChooser::refreshFiles() {
    const QString keep = selectedFileName();
    const QSignalBlocker quiet(file1_);
    file1_->clear();
    // Without QDir::CaseSensitive the pattern matches ".TXT" and ".Txt" as well.
    const QStringList names = QDir(dir_).entryList({QStringLiteral("*.txt")}, QDir::Files | QDir::Readable,
                                                   QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(name, file1_);
        if (name == keep) {
            item->setSelected(true);
            file1_->setCurrentItem(item);
        }
    }
}

QStringList FileChooser::volumeRoots() {
    QStringList roots;
#ifdef Q_OS_LINUX
    QFile table(QStringLiteral("/proc/self/mounts"));
    if (table.open(QIODevice::ReadOnly)) {
        roots = mountRoots(table.readAll());
    }
#endif
    // Drive letters are known without asking the drives; elsewhere this is the root alone.
    for (const QFileInfo& drive : QDir::drives()) {
        roots << QDir::toNativeSeparators(drive.absoluteFilePath());
    }
    return roots;
}

QStringList FileChooser::mountRoots(const QByteArray& table) {
    QStringList roots;
    for (const QByteArray& line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3 || isVirtualFileSystem(fields[2])) {
            continue;
        }
        const QString root = unescapeMountPath(fields[1]);
        if (isRemoteFileSystem(fields[2]) || QFileInfo(root).isDir()) {
            roots << root;
        }
    }
    return roots;
}

QStringList FileChooser::driveList(QStringList volumes, const QString& folder) {
    QString own = QStorageInfo(folder).rootPath();
    if (own.isEmpty()) {
        own = QDir::rootPath();
    }
    volumes << QDir::toNativeSeparators(own);
    volumes.removeDuplicates();
    volumes.sort(Qt::CaseInsensitive);
    return volumes;
}

void FileChooser::fillDrives() {
    const QSignalBlocker quiet(drive1_);
    drive1_->clear();
    drive1_->addItems(
        driveList(volumes_ ? volumes_() : QStringList(), dir_.isEmpty() ? QDir::currentPath() : dir_));
    showDriveOf(dir_);
}

void FileChooser::showDriveOf(const QString& path) {
    // The volume holding a folder is the longest root that begins its path.
    const QString native = QDir::toNativeSeparators(path);
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < drive1_->count(); ++i) {
        const QString root = drive1_->itemText(i);
        const bool holds =
            native == root || native.startsWith(TableFile::JoinPath(root, QString()), Qt::CaseInsensitive);
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    drive1_->setCurrentIndex(best);
}

void FileChooser::fillFolders() {
    const QDir here(dir_);
    dir1_->clear();
    auto* current = new QListWidgetItem(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                        here.isRoot() ? dirPath() : here.dirName(), dir1_);
    current->setData(Qt::UserRole, dir_);
    current->setToolTip(dirPath());
    QFont bold = current->font();
    bold.setBold(true);
    current->setFont(bold);
    if (!here.isRoot()) {
        auto* up = new QListWidgetItem(style()->standardIcon(QStyle::SP_FileDialogToParent),
                                       QStringLiteral(".."), dir1_);
        up->setData(Qt::UserRole, QDir::cleanPath(dir_ + QStringLiteral("/..")));
    }
    // Only folders and links to folders: a link to a device is not a place to go.
    const QFileInfoList folders =
        here.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& folder : folders) {
        if (!folder.isDir()) {
            continue;
        }
        auto* item = new QListWidgetItem(style()->standardIcon(QStyle::SP_DirIcon), folder.fileName(), dir1_);
        item->setData(Qt::UserRole, folder.absoluteFilePath());
    }
    dir1_->setCurrentItem(current);
}

void FileChooser::chooseDrive(int index) {
    if (index >= 0) {
        setDirPath(drive1_->itemText(index));
    }
    // A refused drive must not stay shown as chosen while the lists still show the old folder.
    showDriveOf(dir_);
}

void FileChooser::folderActivated(QListWidgetItem* item) {
    if (item != nullptr) {
        setDirPath(item->data(Qt::UserRole).toString());
    }
}

void FileChooser::fileClicked(QListWidgetItem* item) {
    if (item != nullptr) {
        txtFileName_->setText(item->text());
    }
}
