// Registering an opened file with the recent documents happens on the
// user-interface thread at every open; the file it rewrites belongs to the
// whole desktop and grows with every program's entries.
#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QFile>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "desktop/desktop_services.h"

namespace {

// A recently-used.xbel of `entries` bookmarks as GTK programs leave it.
std::string MakeXbel(const std::string& folder, int entries) {
  QByteArray text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xbel version=\"1.0\"\n"
      "      xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\"\n"
      "      xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\"\n>\n";
  for (int i = 0; i < entries; ++i)
    text += "  <bookmark href=\"file:///home/user/Documents/report%20" + QByteArray::number(i) +
            ".odt\" added=\"2024-05-01T10:00:00.000000Z\" modified=\"2024-05-01T10:00:00.000000Z\" "
            "visited=\"2024-05-01T10:00:00.000000Z\">\n    <info>\n      <metadata owner=\"http://freedesktop.org\">\n"
            "        <mime:mime-type type=\"application/vnd.oasis.opendocument.text\"/>\n"
            "        <bookmark:applications>\n          <bookmark:application name=\"LibreOffice\" "
            "exec=\"&apos;soffice %u&apos;\" modified=\"2024-05-01T10:00:00.000000Z\" count=\"3\"/>\n"
            "        </bookmark:applications>\n      </metadata>\n    </info>\n  </bookmark>\n";
  text += "</xbel>\n";
  const std::string path = folder + "/recently-used.xbel";
  QFile file(QString::fromStdString(path));
  if (file.open(QIODevice::WriteOnly)) file.write(text);
  return path;
}

void BM_AddRecentDocument(benchmark::State& state) {
  char pattern[] = "/tmp/qel-bench-recent-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  const QString xbel = QString::fromStdString(MakeXbel(folder, static_cast<int>(state.range(0))));
  const std::string media = folder + "/曲 01.mp3";
  for (auto _ : state) benchmark::DoNotOptimize(qel::desktop::AddToRecentFile(xbel, media));
  state.counters["file_kB"] = static_cast<double>(std::filesystem::file_size(xbel.toStdString())) / 1024.0;
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_AddRecentDocument)->Arg(0)->Arg(100)->Arg(1000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
