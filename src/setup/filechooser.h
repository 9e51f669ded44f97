#pragma once

#include <QFrame>
#include <QString>
#include <QStringList>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

// The file area of the setup window: a drive list, a folder list and a list of the folder's
// table files, plus the name box and the two file buttons. It only browses; saving and loading
// are done by the table-file logic, which reads the chosen folder and names from here.
class FileChooser : public QFrame {
    Q_OBJECT
public:
    // Where Drive1's volumes come from; read afresh each time the operator opens the list.
    using VolumeSource = std::function<QStringList()>;
    explicit FileChooser(QWidget* parent = nullptr, VolumeSource volumes = &FileChooser::volumeRoots);

    // The folder shown by Dir1 (and listed by File1), with the platform's separators.
    QString dirPath() const;
    // Shows `path` in Dir1 and File1. A folder that does not exist or cannot be listed is
    // refused: the lists keep the folder they showed and folderUnavailable() is emitted.
    void setDirPath(const QString& path);
    // The file selected in File1, without its folder; empty when none is selected.
    QString selectedFileName() const;
    QString fileNameText() const;
    void setFileNameText(const QString& text);
    // Lists the folder's table files again, e.g. after a save created one. A selected file that
    // still exists stays selected.
    void refreshFiles();

    // Roots and mounted volumes that hold a real file system, from the system's mount table.
    static QStringList volumeRoots();
    // The mount points of a Linux mount table (the text of /proc/self/mounts) that can hold
    // files. A network or user-space volume is listed without being looked at, since a stale one
    // would block the caller; a local one must be a folder (containers mount single files).
    static QStringList mountRoots(const QByteArray& table);
    // What Drive1 lists: `volumes` and always the volume of `folder` (or "/" when none is known),
    // without repeats, in order.
    static QStringList driveList(QStringList volumes, const QString& folder);

signals:
    void saveClicked();
    void loadClicked();
    void dirPathChanged(const QString& path);
    void folderUnavailable(const QString& path);

private:
    void fillDrives();
    void showDriveOf(const QString& path);
    void fillFolders();
    void chooseDrive(int index);
    void folderActivated(QListWidgetItem* item);
    void fileClicked(QListWidgetItem* item);

    VolumeSource volumes_;
    QString dir_;  // absolute, with '/' separators, as QDir keeps it
    QLabel* label13_ = nullptr;
    QLineEdit* txtFileName_ = nullptr;
    QComboBox* drive1_ = nullptr;
    QListWidget* dir1_ = nullptr;
    QListWidget* file1_ = nullptr;
    QPushButton* cmdWrite_ = nullptr;
    QPushButton* cmdRead_ = nullptr;
};
