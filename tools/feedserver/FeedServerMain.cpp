// qp_feed_server --dir D [--port P] [--log F] [--latency-ms N] [--no-conditional | --plain]:
// serves the files of folder D as application/rss+xml on 127.0.0.1 and prints the port it
// listens on, for benchmark scripts, the demo and the end-to-end tests; with --log, every
// request's method and target go to file F. Answers carry ETag and Last-Modified and conditional
// requests get 304, unless --no-conditional; --plain sends only Last-Modified, the file's time
// even within the current second, as a simple static server does; --latency-ms delays every
// answer.

#include "feedserver/FeedServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  parser.setApplicationDescription("Serves a folder of feed files over HTTP on 127.0.0.1.");
  parser.addHelpOption();
  const QCommandLineOption dirOption("dir", "Folder whose files are served.", "folder");
  const QCommandLineOption portOption("port", "Port to listen on (0: any free one).", "port", "0");
  const QCommandLineOption logOption("log", "File that gets one line per request.", "file");
  const QCommandLineOption latencyOption("latency-ms", "Wait before every answer.", "ms", "0");
  const QCommandLineOption unconditionalOption(
      "no-conditional", "No ETag or Last-Modified; conditional requests get the full answer.");
  const QCommandLineOption plainOption(
      "plain", "Only Last-Modified, even for a file changed within the current second.");
  parser.addOptions(
      {dirOption, portOption, logOption, latencyOption, unconditionalOption, plainOption});
  parser.process(app);

  const QString folder = parser.value(dirOption);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
    std::fprintf(stderr, "qp_feed_server: --dir must name a folder\n");
    return 2;
  }
  bool numeric = false;
  const uint port = parser.value(portOption).toUInt(&numeric);
  if (!numeric || port > 65535) {
    std::fprintf(stderr, "qp_feed_server: --port must be a number from 0 to 65535\n");
    return 2;
  }

  const int latency = parser.value(latencyOption).toInt(&numeric);
  if (!numeric || latency < 0) {
    std::fprintf(stderr, "qp_feed_server: --latency-ms must be a number of 0 or more\n");
    return 2;
  }

  TestSupport::FeedServer server;
  server.ServeFolder(QFileInfo(folder).absoluteFilePath());
  server.SetConditional(!parser.isSet(unconditionalOption));
  server.SetPlainValidators(parser.isSet(plainOption));
  server.SetLatency(latency);
  if (parser.isSet(logOption)) server.LogRequestsTo(parser.value(logOption));
  if (!server.Listen(static_cast<quint16>(port))) {
    std::fprintf(stderr, "qp_feed_server: cannot listen on port %u\n", port);
    return 1;
  }
  std::printf("%u\n", static_cast<unsigned>(server.Port()));
  std::fflush(stdout);
  return app.exec();
}
