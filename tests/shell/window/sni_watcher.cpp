// A StatusNotifierItem watcher of the tests' own, for a private session bus:
// what a desktop's tray runs, reduced to what the real-window test needs. It
// owns org.kde.StatusNotifierWatcher (with a host registered, so programs
// see a tray), and speaks one line per event on standard output:
//   ready                       the watcher is on the bus
//   registered SERVICE          an item called RegisterStatusNotifierItem
// and takes one command per line on standard input, naming an item's service:
//   tooltip SERVICE             -> "tooltip TITLE" (the ToolTip property's title)
//   title SERVICE               -> "title TITLE" (the Title property)
//   activate SERVICE            -> "called activate" (Activate(0, 0), a left click)
//   contextmenu SERVICE         -> "called contextmenu" (ContextMenu(0, 0), a right click)
// A failed call answers "error TEXT".
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QSocketNotifier>
#include <QStringList>
#include <cstdio>
#include <functional>
#include <string>

namespace {

constexpr const char* kItemPath = "/StatusNotifierItem";
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";

void Say(const QString& line) {
  std::printf("%s\n", line.toLocal8Bit().constData());
  std::fflush(stdout);
}

class TWatcher final : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ RegisteredStatusNotifierItems)
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ IsStatusNotifierHostRegistered)
  Q_PROPERTY(int ProtocolVersion READ ProtocolVersion)

 public:
  explicit TWatcher(QObject* parent) : QDBusAbstractAdaptor(parent) {}

  QStringList RegisteredStatusNotifierItems() const { return items_; }
  bool IsStatusNotifierHostRegistered() const { return true; }
  int ProtocolVersion() const { return 0; }

 public Q_SLOTS:
  void RegisterStatusNotifierItem(const QString& serviceOrPath, const QDBusMessage& message) {
    // An item may pass its object path instead of its service name.
    const QString service = serviceOrPath.startsWith('/') ? message.service() : serviceOrPath;
    items_ << service;
    Say("registered " + service);
    Q_EMIT StatusNotifierItemRegistered(service);
  }
  void RegisterStatusNotifierHost(const QString&) {}

 Q_SIGNALS:
  void StatusNotifierItemRegistered(const QString& service);
  void StatusNotifierItemUnregistered(const QString& service);
  void StatusNotifierHostRegistered();

 private:
  QStringList items_;
};

// Calls go out without waiting, so the watcher keeps answering the item's
// own calls (a program asks the watcher whether a tray is there) meanwhile.
void Call(const QString& service, const QString& interface, const QString& method,
          const QVariantList& arguments, std::function<void(const QDBusMessage&)> answered) {
  QDBusMessage call = QDBusMessage::createMethodCall(service, kItemPath, interface, method);
  call.setArguments(arguments);
  auto* pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call, 5000));
  QObject::connect(pending, &QDBusPendingCallWatcher::finished, pending,
                   [answered = std::move(answered)](QDBusPendingCallWatcher* call) {
                     answered(call->reply());
                     call->deleteLater();
                   });
}

// ToolTip is (icon name, icon pixmaps a(iiay), title, description).
QString ToolTipTitle(const QVariant& value) {
  const QDBusArgument argument = value.value<QDBusArgument>();
  QString iconName, title, description;
  argument.beginStructure();
  argument >> iconName;
  argument.beginArray();
  while (!argument.atEnd()) {
    int width = 0, height = 0;
    QByteArray bytes;
    argument.beginStructure();
    argument >> width >> height >> bytes;
    argument.endStructure();
  }
  argument.endArray();
  argument >> title >> description;
  argument.endStructure();
  return title;
}

void Run(const std::string& line) {
  const QStringList words = QString::fromStdString(line).split(' ', Qt::SkipEmptyParts);
  if (words.size() != 2) {
    Say("error expected a command and a service");
    return;
  }
  const QString command = words[0];
  const QString& service = words[1];
  if (command == "tooltip" || command == "title") {
    const QString property = command == "tooltip" ? "ToolTip" : "Title";
    Call(service, "org.freedesktop.DBus.Properties", "Get", {QString(kItemInterface), property},
         [command](const QDBusMessage& reply) {
           if (reply.type() != QDBusMessage::ReplyMessage) {
             Say("error " + reply.errorMessage());
             return;
           }
           const QVariant value = reply.arguments().value(0).value<QDBusVariant>().variant();
           Say(command + " " + (command == "tooltip" ? ToolTipTitle(value) : value.toString()));
         });
  } else if (command == "activate" || command == "contextmenu") {
    Call(service, kItemInterface, command == "activate" ? "Activate" : "ContextMenu", {0, 0},
         [command](const QDBusMessage& reply) {
           Say(reply.type() == QDBusMessage::ReplyMessage ? "called " + command
                                                          : "error " + reply.errorMessage());
         });
  } else {
    Say("error unknown command " + command);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    Say("error no session bus");
    return 1;
  }
  QObject root;
  new TWatcher(&root);
  if (!bus.registerObject("/StatusNotifierWatcher", &root) ||
      !bus.registerService("org.kde.StatusNotifierWatcher")) {
    Say("error " + bus.lastError().message());
    return 1;
  }

  // Commands arrive on standard input; its end ends the watcher.
  std::string pending;
  QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
  QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
    char buffer[512];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got <= 0) {
      QCoreApplication::exit(0);
      return;
    }
    pending.append(buffer, static_cast<size_t>(got));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      Run(pending.substr(0, end));
      pending.erase(0, end + 1);
    }
  });
  Say("ready");
  return app.exec();
}

#include "sni_watcher.moc"
