#pragma once
// Collects the addresses handed to the desktop (mail program, web browser) while it lives.

#include <QDesktopServices>
#include <QObject>
#include <QStringList>
#include <QUrl>

class TUrlCatcher : public QObject {
    Q_OBJECT
public:
    TUrlCatcher() {
        for (const char* scheme : {"mailto", "http", "https", "file"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "Open");
    }
    ~TUrlCatcher() override {
        for (const char* scheme : {"mailto", "http", "https", "file"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }
    QStringList Opened;
    QList<QUrl> Urls;

public slots:
    void Open(const QUrl& url) {
        Opened << url.toString();
        Urls << url;
    }
};
