// A local stand-in for the music service fetcher talks to, for the end-to-end tests. It answers
// the lookup page from a catalogue, serves song files, and logs every request.
//
//   music-service --folder DIR [--port N] [--port-file FILE]
//
// DIR holds:
//   catalogue.txt  read again for every request, so a test can change it while the service
//                  runs. Tab-separated lines:
//                    lookup <media id> <reply>   the lookup page's reply for that id; "{self}"
//                                                stands for "http://127.0.0.1:<port>"
//                    status <path> <code>        answer <code> with a small error page
//                  An id the catalogue does not know gets "ERR: unknown media id".
//   files/         served as the site's root: /songs/a/1/x.wma is files/songs/a/1/x.wma
//   requests.log   "GET <path>[?<query>]" for every request as it came, before it is answered
// With --port 0 (the default) the service takes a free loopback port; the port file gets its
// number once it listens.
#include <httplib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace {

// The catalogue's entry `kind` + "\t" + `key`, or nothing.
std::optional<std::string> Entry(const std::string& folder, const std::string& kind,
                                 const std::string& key) {
  std::ifstream in(folder + "/catalogue.txt", std::ios::binary);
  const std::string head = kind + "\t" + key + "\t";
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with(head)) return line.substr(head.size());
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> options{
      {"--folder", ""}, {"--port", "0"}, {"--port-file", ""}};
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!options.contains(argv[i])) argc = 0;
    options[argv[i]] = argv[i + 1];
  }
  const std::string folder = options["--folder"];
  int port = std::atoi(options["--port"].c_str());
  if (folder.empty() || argc % 2 == 0) {
    std::fprintf(stderr, "usage: music-service --folder DIR [--port N] [--port-file FILE]\n");
    return 2;
  }

  httplib::Server server;
  std::mutex logLock;
  std::string self;
  server.Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
    std::unique_lock<std::mutex> lock(logLock);
    std::ofstream(folder + "/requests.log", std::ios::app | std::ios::binary)
        << request.method << " " << request.target << "\n";
    lock.unlock();
    if (request.path == "/contents/search/ex_path.php") {
      std::string reply = Entry(folder, "lookup", request.get_param_value("m_id"))
                              .value_or("ERR: unknown media id");
      for (size_t at; (at = reply.find("{self}")) != std::string::npos;) reply.replace(at, 6, self);
      return response.set_content(reply, "text/plain");
    }
    const std::optional<std::string> status = Entry(folder, "status", request.path);
    std::ifstream file(folder + "/files" + request.path, std::ios::binary);
    if (status || !file || request.path.find("..") != std::string::npos) {
      response.status = status ? std::atoi(status->c_str()) : 404;
      response.set_content(
          "<html><body>error " + std::to_string(response.status) + "</body></html>", "text/html");
      return;
    }
    response.set_content(std::string(std::istreambuf_iterator<char>(file), {}),
                         "application/octet-stream");
  });

  port = port ? (server.bind_to_port("127.0.0.1", port) ? port : -1)
              : server.bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::fprintf(stderr, "music-service: cannot listen on 127.0.0.1\n");
    return 1;
  }
  self = "http://127.0.0.1:" + std::to_string(port);
  if (!options["--port-file"].empty()) {
    // Written whole under another name first: a reader never sees half a number.
    const std::string partial = options["--port-file"] + ".partial";
    std::ofstream(partial) << port << "\n";
    std::rename(partial.c_str(), options["--port-file"].c_str());
  }
  std::fprintf(stderr, "music-service: listening on %s, serving %s\n", self.c_str(),
               folder.c_str());
  return server.listen_after_bind() ? 0 : 1;
}
