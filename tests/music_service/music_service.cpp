// A local stand-in for the music service fetcher talks to, for the end-to-end tests and the
// demo. It answers the lookup page from a catalogue, serves song files, and logs every request.
//
//   music-service --folder DIR [--port N] [--port-file FILE]
//
// DIR holds:
//   catalogue.txt  read again for every request, so a test can change it while the service
//                  runs. Tab-separated lines; "#" starts a comment line.
//                    lookup <media id> <reply>   the lookup page's reply for that id; "{self}"
//                                                stands for "http://127.0.0.1:<port>", and
//                                                \r \n \\ \xHH are escapes for raw bytes
//                    status <path> <code>        answer <code> with a small error page
//                  An id the catalogue does not know gets "ERR: unknown media id".
//   files/         served as the site's root: /songs/a/1/x.wma is files/songs/a/1/x.wma
//   requests.log   appended with "GET <path>[?<query>]" for every request, before it is
//                  answered; the query is written percent-encoded again (letters, digits and
//                  "-._~" as they are).
// With --port 0 (the default) the service takes a free loopback port and writes its number to
// the port file once it listens.
#include <httplib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Catalogue {
  std::map<std::string, std::string> replies;  // media id -> reply bytes
  std::map<std::string, int> statuses;         // path -> status code
};

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 >= text.size()) {
      out.push_back(text[i]);
      continue;
    }
    const char c = text[++i];
    if (c == 'r') {
      out.push_back('\r');
    } else if (c == 'n') {
      out.push_back('\n');
    } else if (c == 'x' && i + 2 < text.size()) {
      out.push_back(char(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

Catalogue ReadCatalogue(const std::string& path, const std::string& self) {
  Catalogue catalogue;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (fields.size() < 3) continue;
    if (fields[0] == "lookup") {
      std::string reply = Unescape(fields[2]);
      for (size_t at; (at = reply.find("{self}")) != std::string::npos;) reply.replace(at, 6, self);
      catalogue.replies[fields[1]] = reply;
    } else if (fields[0] == "status") {
      catalogue.statuses[fields[1]] = std::atoi(fields[2].c_str());
    }
  }
  return catalogue;
}

std::string PercentEncode(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out.push_back(char(c));
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string RequestLine(const httplib::Request& request) {
  std::string line = request.method + " " + request.path;
  char separator = '?';
  for (const auto& [key, value] : request.params) {
    line += separator + PercentEncode(key) + "=" + PercentEncode(value);
    separator = '&';
  }
  return line;
}

int Usage() {
  std::fprintf(stderr, "usage: music-service --folder DIR [--port N] [--port-file FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string folder;
  std::string portFile;
  int port = 0;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--folder") {
      folder = argv[i + 1];
    } else if (option == "--port") {
      port = std::atoi(argv[i + 1]);
    } else if (option == "--port-file") {
      portFile = argv[i + 1];
    } else {
      return Usage();
    }
  }
  if (folder.empty() || argc % 2 == 0) return Usage();

  httplib::Server server;
  std::mutex logLock;
  std::string self;
  auto log = [&](const httplib::Request& request) {
    std::lock_guard<std::mutex> lock(logLock);
    std::ofstream out(folder + "/requests.log", std::ios::app | std::ios::binary);
    out << RequestLine(request) << "\n";
  };

  server.Get("/contents/search/ex_path.php", [&](const httplib::Request& request,
                                                 httplib::Response& response) {
    log(request);
    const Catalogue catalogue = ReadCatalogue(folder + "/catalogue.txt", self);
    auto reply = catalogue.replies.find(request.get_param_value("m_id"));
    response.set_content(reply == catalogue.replies.end() ? "ERR: unknown media id" : reply->second,
                         "text/plain");
  });
  server.Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
    log(request);
    const Catalogue catalogue = ReadCatalogue(folder + "/catalogue.txt", self);
    auto status = catalogue.statuses.find(request.path);
    if (status != catalogue.statuses.end()) {
      response.status = status->second;
      response.set_content("<html><body>error " + std::to_string(status->second) + "</body></html>",
                           "text/html");
      return;
    }
    std::ifstream file;
    if (request.path.find("..") == std::string::npos) {
      file.open(folder + "/files" + request.path, std::ios::binary);
    }
    if (!file) {
      response.status = 404;
      response.set_content("<html><body>not found</body></html>", "text/html");
      return;
    }
    std::stringstream bytes;
    bytes << file.rdbuf();
    response.set_content(bytes.str(), "application/octet-stream");
  });

  if (port == 0) {
    port = server.bind_to_any_port("127.0.0.1");
  } else if (!server.bind_to_port("127.0.0.1", port)) {
    port = -1;
  }
  if (port <= 0) {
    std::fprintf(stderr, "music-service: cannot listen on 127.0.0.1\n");
    return 1;
  }
  self = "http://127.0.0.1:" + std::to_string(port);
  if (!portFile.empty()) {
    // Written whole under another name first: a reader never sees half a number.
    const std::string partial = portFile + ".partial";
    std::ofstream(partial) << port << "\n";
    std::rename(partial.c_str(), portFile.c_str());
  }
  std::fprintf(stderr, "music-service: listening on %s, serving %s\n", self.c_str(),
               folder.c_str());
  return server.listen_after_bind() ? 0 : 1;
}
