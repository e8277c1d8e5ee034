// A local stand-in for the music service fetcher talks to, for the end-to-end tests. It answers
// the lookup page from a catalogue and serves song files.
//
//   music-service --folder DIR --port-file FILE
//
// DIR holds:
//   catalogue.txt  read again for every request, so a test can change it while the service
//                  runs. Tab-separated lines "lookup <media id> <reply>": the lookup page's
//                  reply for that id, where "{self}" stands for "http://127.0.0.1:<port>". An
//                  id the catalogue does not know gets "ERR: unknown media id".
//   files/         served as the site's root: /songs/a/1/x.wma is files/songs/a/1/x.wma; any
//                  other path gets 404 and a small error page
// The service takes a free loopback port and writes its number to FILE once it listens.
#include <httplib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
  if (argc != 5) return 2;  // see above
  const std::string folder = argv[2], portFile = argv[4];
  httplib::Server server;
  std::string self;
  server.Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
    if (request.path == "/contents/search/ex_path.php") {
      std::ifstream catalogue(folder + "/catalogue.txt", std::ios::binary);
      const std::string head = "lookup\t" + request.get_param_value("m_id") + "\t";
      std::string reply = "ERR: unknown media id";
      for (std::string line; std::getline(catalogue, line);)
        if (line.starts_with(head)) reply = line.substr(head.size());
      for (size_t at; (at = reply.find("{self}")) != std::string::npos;) reply.replace(at, 6, self);
      return response.set_content(reply, "text/plain");
    }
    std::ifstream file(folder + "/files" + request.path, std::ios::binary);
    if (!file) {
      response.status = 404;
      return response.set_content("<html><body>error 404</body></html>", "text/html");
    }
    response.set_content(std::string(std::istreambuf_iterator<char>(file), {}),
                         "application/octet-stream");
  });

  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) return 1;
  self = "http://127.0.0.1:" + std::to_string(port);
  // Written whole under another name first: a reader never sees half a number.
  std::ofstream(portFile + ".partial") << port << "\n";
  std::rename((portFile + ".partial").c_str(), portFile.c_str());
  return server.listen_after_bind() ? 0 : 1;
}
