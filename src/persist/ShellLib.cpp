#include "persist/ShellLib.h"

#include <QStandardPaths>

namespace quorvane {

QString GetShellFolder(const QString& name) {
    struct TFolder {
        const char* Name;
        QStandardPaths::StandardLocation Location;
    };
    static const TFolder folders[] = {
        {"Personal", QStandardPaths::DocumentsLocation},
        {"Desktop", QStandardPaths::DesktopLocation},
        {"My Music", QStandardPaths::MusicLocation},
        {"My Pictures", QStandardPaths::PicturesLocation},
        {"My Video", QStandardPaths::MoviesLocation},
        {"Templates", QStandardPaths::TemplatesLocation},
    };
    for (const TFolder& folder : folders) {
        if (name.compare(QLatin1String(folder.Name), Qt::CaseInsensitive) == 0)
            return QStandardPaths::writableLocation(folder.Location);
    }
    return QString();
}

QString GetPersonalFolder() {
    return GetShellFolder(QStringLiteral("Personal"));
}

} // namespace quorvane
