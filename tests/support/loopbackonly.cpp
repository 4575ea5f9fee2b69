// Linked into every test: nothing a test builds may reach the internet. The maker's site is
// pointed at a closed loopback port and, where there is a desktop, links are recorded, not opened.
#include "support/loopbackonly.h"
#include "site/siteurl.h"

#include <QCoreApplication>
#ifdef QT_GUI_LIB
#include <QDesktopServices>
#endif

QList<QUrl> &openedLinks()
{
    static QList<QUrl> links;
    return links;
}

namespace {

class LinkSink : public QObject
{
    Q_OBJECT

public slots:
    void record(const QUrl &url) { openedLinks() << url; }
};

void keepTestsOnLoopback()
{
    setSiteBaseUrl(QStringLiteral("http://127.0.0.1:9"));
#ifdef QT_GUI_LIB
    static LinkSink sink;
    for (const char *scheme : {"http", "https", "file", "javascript", "smb", "tactora-evil"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &sink, "record");
#endif
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(keepTestsOnLoopback)

#include "loopbackonly.moc"
