// A window to drag files from, as a file manager offers them: a press on it
// starts a drag of the files named on the command line (as file URLs). When
// the drag ends it writes "taken" or "refused" on standard output, and stays
// until it is ended: the window that took the drop may still be reading the
// files' names from it.
//
//   drag_source FILE...
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <cstdio>

namespace {

class CDragSource : public QLabel {
  public:
    explicit CDragSource(QList<QUrl> urls)
        : QLabel(QStringLiteral("Drag me")), m_urls(std::move(urls)) {}

  protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setUrls(m_urls);
        drag->setMimeData(data);
        const Qt::DropAction done = drag->exec(Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
        std::printf("%s\n", done == Qt::IgnoreAction ? "refused" : "taken");
        std::fflush(stdout);
    }

  private:
    QList<QUrl> m_urls;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (const QString& file : app.arguments().mid(1)) urls << QUrl::fromLocalFile(file);
    CDragSource source(urls);
    source.setWindowTitle(QStringLiteral("Drag Source"));
    source.setAlignment(Qt::AlignCenter);
    source.setGeometry(1000, 800, 160, 100);
    source.show();
    return app.exec();
}
