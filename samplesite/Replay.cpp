#include "samplesite/Replay.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string_view>

#include "samplesite/SamplePictures.h"

namespace lumora::samplesite {

using testsite::Request;
using testsite::Response;

namespace {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) { return Lower(std::string(a)) == Lower(std::string(b)); }

std::string ReadWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.filename().string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file the manifest names: a plain name inside the capture, never a path
// that leads out of it.
fs::path FileInCapture(const fs::path& folder, const nlohmann::json& name) {
    const std::string text = name.get<std::string>();
    if (text.empty() || text.find('/') != std::string::npos || text.find('\0') != std::string::npos ||
        text.starts_with("."))
        throw std::runtime_error("the manifest names a file outside the capture: " + text);
    return folder / text;
}

// Framing is the site's own: the body's length may differ from what was
// announced (a cut body, an empty error body).
bool IsFramingHeader(std::string_view name) {
    for (std::string_view framing :
         {"content-length", "transfer-encoding", "connection", "keep-alive", "proxy-connection"}) {
        if (EqualsIgnoreCase(name, framing)) return true;
    }
    return false;
}

// "HTTP/1.1 200 OK" and header lines, folded lines joined to their header.
void ParseHeaders(const std::string& text, int& status, std::string& reason,
                  std::vector<std::pair<std::string, std::string>>& headers) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        start = end + 1;
        if (line.empty()) {
            if (lines.empty()) continue;
            break;
        }
        if (line[0] == ' ' || line[0] == '\t') {
            const std::size_t text = line.find_first_not_of(" \t");
            if (lines.size() > 1 && text != std::string::npos) lines.back() += ' ' + line.substr(text);
        } else {
            lines.push_back(std::move(line));
        }
    }
    if (lines.empty() || !lines[0].starts_with("HTTP/")) throw std::runtime_error("no status line");
    const std::size_t code = lines[0].find(' ');
    if (code == std::string::npos) throw std::runtime_error("bad status line: " + lines[0]);
    status = std::atoi(lines[0].c_str() + code + 1);
    if (status < 100 || status > 999) throw std::runtime_error("bad status line: " + lines[0]);
    const std::size_t phrase = lines[0].find(' ', code + 1);
    reason = phrase == std::string::npos ? std::string() : lines[0].substr(phrase + 1);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t colon = lines[i].find(':');
        if (colon == std::string::npos || colon == 0) continue;
        std::string name = lines[i].substr(0, colon);
        if (IsFramingHeader(name)) continue;
        const std::size_t value = lines[i].find_first_not_of(" \t", colon + 1);
        headers.emplace_back(std::move(name), value == std::string::npos ? std::string() : lines[i].substr(value));
    }
}

}  // namespace

std::string ReplayAddressKey(const std::string& address) {
    const std::size_t scheme = address.find("://");
    if (scheme == std::string::npos) return address;
    const std::string schemeName = Lower(address.substr(0, scheme));
    const std::size_t hostStart = scheme + 3;
    std::size_t hostEnd = address.find_first_of("/?#", hostStart);
    if (hostEnd == std::string::npos) hostEnd = address.size();
    std::string authority = Lower(address.substr(hostStart, hostEnd - hostStart));
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) authority.erase(0, at + 1);
    const std::string defaultPort = schemeName == "https" ? ":443" : schemeName == "http" ? ":80" : "";
    if (!defaultPort.empty() && authority.ends_with(defaultPort))
        authority.resize(authority.size() - defaultPort.size());
    std::string rest = address.substr(hostEnd);
    rest = rest.substr(0, rest.find('#'));
    if (rest.empty() || rest[0] == '?') rest.insert(0, "/");
    return schemeName + "://" + authority + rest;
}

std::string RequestAddress(const Request& request) {
    if (!request.target.starts_with("/") && request.target.find("://") != std::string::npos)
        return ReplayAddressKey(request.target);
    return ReplayAddressKey("http://" + request.header("Host") + request.target);
}

CaptureReplay::CaptureReplay(const fs::path& folder) : folder_(folder) {
    const fs::path manifestFile = folder / "manifest.json";
    std::ifstream in(manifestFile, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + manifestFile.string() + ": not a capture folder");
    nlohmann::json manifest;
    try {
        manifest = nlohmann::json::parse(in);
        if (manifest.value("format", std::string()) != "lumora-capture")
            throw std::runtime_error("not a capture manifest");
        if (manifest.value("version", 0) != 1)
            throw std::runtime_error("capture version " + manifest["version"].dump() + " is not known");
        for (const auto& arg : manifest.value("commandLine", nlohmann::json::array()))
            commandLine_.push_back(arg.get<std::string>());
        for (const auto& fetch : manifest.at("fetches")) {
            const std::string address = ReplayAddressKey(fetch.at("address").get<std::string>());
            if (fetch.value("kind", std::string()) == "file") {
                pictures_.emplace(address, static_cast<int>(pictures_.size()) + 1);
                continue;
            }
            // A transaction that got no answer left nothing to answer with.
            if (!fetch.contains("headers") || !fetch.contains("body")) continue;
            Page page;
            const fs::path headerFile = FileInCapture(folder, fetch["headers"]);
            try {
                ParseHeaders(ReadWhole(headerFile), page.status, page.reason, page.headers);
            } catch (const std::runtime_error& error) {
                throw std::runtime_error(headerFile.filename().string() + ": " + error.what());
            }
            page.body = FileInCapture(folder, fetch["body"]);
            if (!fs::is_regular_file(page.body)) throw std::runtime_error("missing " + page.body.filename().string());
            answers_[{fetch.value("method", std::string("GET")), address}].pages.push_back(std::move(page));
            ++pageCount_;
        }
    } catch (const nlohmann::json::exception& error) {
        throw std::runtime_error(manifestFile.string() + ": " + error.what());
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(manifestFile.string() + ": " + error.what());
    }
}

Response CaptureReplay::Answer(const Request& request) {
    const std::string address = RequestAddress(request);
    const Page* page = nullptr;
    int picture = 0;
    {
        std::lock_guard lock(mutex_);
        if (auto it = answers_.find({request.method, address}); it != answers_.end()) {
            Answers& answers = it->second;
            page = &answers.pages[std::min(answers.next, answers.pages.size() - 1)];
            ++answers.next;
        } else if (auto known = pictures_.find(address); known != pictures_.end() && request.method == "GET") {
            picture = known->second;
        }
    }
    if (page) {
        Response response;
        response.status = page->status;
        response.reason = page->reason;
        response.headers = page->headers;
        try {
            response.body = ReadWhole(page->body);
        } catch (const std::runtime_error& error) {
            return Response::Status(500, error.what());
        }
        return response;
    }
    // Any bytes that decode would do; each picture its own, so no two look alike.
    if (picture > 0) return Response::Text(EncodeJpeg(DrawSamplePicture(1, picture, 64, 48), 85), "image/jpeg");
    return Response::Status(404, "Not in the capture: " + address + "\n");
}

void ServeReplay(testsite::TestSite& site, std::shared_ptr<CaptureReplay> replay,
                 std::function<void(const Request&)> onRequest) {
    site.fallback([replay = std::move(replay), onRequest = std::move(onRequest)](const Request& request) {
        if (onRequest) onRequest(request);
        return replay->Answer(request);
    });
}

}  // namespace lumora::samplesite
