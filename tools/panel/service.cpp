#include "service.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "assets.h"
#include "history.h"
#include "channel_limits.h"
#include "request_guard.h"
#include "supply.h"

namespace zr48::panel {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kErrorLogSize = 50;  // instrument errors kept for the page
constexpr int kMaxStreams = 8;             // event streams at once, each holds a server thread
constexpr int kServerThreads = kMaxStreams + 4;
constexpr auto kStreamKeepAlive = std::chrono::seconds(15);
constexpr double kMinWindowS = 60.0;

struct LogEntry {
  std::uint64_t id;
  double time;
  std::string source;  // "poll" or the control that caused it, e.g. "ch2 voltage"
  std::string text;
};

json channel_json(int n, const ChannelState& ch) {
  return {{"n", n},          {"setV", ch.set_volt},   {"setI", ch.set_curr},
          {"ovp", ch.ovp},   {"v", ch.volt},          {"i", ch.curr},
          {"p", ch.power},   {"out", ch.output},      {"trip", ch.tripped},
          {"mode", ch.mode}, {"comb", ch.combination}};
}

const char* content_type(std::string_view name) {
  if (name.ends_with(".js")) return "text/javascript; charset=utf-8";
  if (name.ends_with(".css")) return "text/css; charset=utf-8";
  return "text/html; charset=utf-8";
}

void reply(httplib::Response& res, int status, const json& body) {
  res.status = status;
  res.set_content(body.dump(), "application/json");
}

void refuse(httplib::Response& res, int status, const std::string& message) {
  reply(res, status, {{"ok", false}, {"message", message}, {"errors", json::array()}});
}

double window_of(const httplib::Request& req, double history_s) {
  double seconds = 300.0;
  if (req.has_param("seconds")) {
    const std::string text = req.get_param_value("seconds");
    double value = 0.0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (parsed.ec == std::errc{} && std::isfinite(value)) seconds = value;
  }
  return std::clamp(seconds, kMinWindowS, std::max(kMinWindowS, history_s));
}

}  // namespace

struct Service::Impl {
  Options options;
  std::unique_ptr<Supply> supply;
  History history;
  RequestGuard guard;
  httplib::Server server;
  int port = 0;
  std::string host;

  std::mutex mutex;  // guards everything below
  std::condition_variable changed;
  bool stopping = false;
  bool poll_now = false;
  bool serving = false;  // Serve() is inside the server's accept loop or about to be
  std::uint64_t sequence = 0;
  std::string state_json = "{}";
  std::deque<LogEntry> log;
  std::uint64_t next_log_id = 1;
  std::string last_link_error;
  int streams = 0;
  std::thread poller;

  Impl(const Options& opts, std::unique_ptr<Supply> s, const std::string& listen_host,
       int listen_port)
      : options(opts),
        supply(std::move(s)),
        history(
            static_cast<double>(opts.history_s),
            static_cast<std::size_t>(static_cast<double>(opts.history_s) / opts.interval_s) + 16),
        guard(new_token(), listen_host, listen_port),
        port(listen_port),
        host(listen_host) {}

  void add_to_log(double time, const std::string& source, const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
      log.push_back({next_log_id++, time, source, text});
      if (log.size() > kErrorLogSize) log.pop_front();
    }
  }

  void publish(const Snapshot& snapshot) {
    Sample sample;
    sample.time = snapshot.time;
    for (std::size_t i = 0; i < kChannelCount; ++i) {
      const ChannelState& ch = snapshot.channels.at(i);
      sample.volt.at(i) = ch.volt;
      sample.curr.at(i) = ch.curr;
      sample.power.at(i) = ch.power;
      sample.output.at(i) = ch.output;
    }
    history.add(sample);

    const std::lock_guard lock(mutex);
    add_to_log(snapshot.time, "poll", snapshot.instrument_errors);
    if (snapshot.link_error != last_link_error && !snapshot.link_error.empty()) {
      add_to_log(snapshot.time, "link", {snapshot.link_error});
    }
    last_link_error = snapshot.link_error;
    json channels = json::array();
    for (int n = 1; n <= kChannelCount; ++n) {
      channels.push_back(channel_json(n, snapshot.channels.at(static_cast<std::size_t>(n - 1))));
    }
    json errors = json::array();
    for (const LogEntry& e : log) {
      errors.push_back({{"id", e.id}, {"t", e.time}, {"source", e.source}, {"text", e.text}});
    }
    ++sequence;
    state_json = json{{"seq", sequence},
                      {"t", snapshot.time},
                      {"link", snapshot.link_error},
                      {"channels", std::move(channels)},
                      {"errors", std::move(errors)}}
                     .dump();
    changed.notify_all();
  }

  void poll_loop() {
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(options.interval_s));
    auto next = Clock::now();
    for (;;) {
      publish(supply->poll());
      next += interval;
      const auto now = Clock::now();
      if (next < now) next = now;  // a slow instrument: poll again at once, do not catch up
      std::unique_lock lock(mutex);
      changed.wait_until(lock, next, [&] { return stopping || poll_now; });
      if (stopping) return;
      poll_now = false;
    }
  }

  // Records a control's outcome, asks for a fresh reading and answers the request.
  void answer(httplib::Response& res, const std::string& source, const ControlResult& result) {
    {
      const double now =
          std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
              .count();
      const std::lock_guard lock(mutex);
      if (!result.message.empty()) add_to_log(now, source, {result.message});
      add_to_log(now, source, result.instrument_errors);
      poll_now = true;
      changed.notify_all();
    }
    reply(res, result.ok ? 200 : 502,
          {{"ok", result.ok}, {"message", result.message}, {"errors", result.instrument_errors}});
  }

  // The channel number of a /api/channel/<n>/... request, or 0 after refusing it.
  static int channel_of(const httplib::Request& req, httplib::Response& res) {
    const std::string text = req.matches[1];
    int n = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), n);
    if (parsed.ec != std::errc{} || n < 1 || n > kChannelCount) {
      refuse(res, 404, "There is no channel '" + text.substr(0, 20) + "'; channels are 1 to 7.");
      return 0;
    }
    return n;
  }

  // The JSON object of a POST body, or null after refusing it.
  static json body_of(const httplib::Request& req, httplib::Response& res) {
    json body = json::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object()) {
      refuse(res, 400, "The request body must be a JSON object.");
      return nullptr;
    }
    return body;
  }

  void routes();
  void stream_events(httplib::Response& res);
};

void Service::Impl::stream_events(httplib::Response& res) {
  {
    const std::lock_guard lock(mutex);
    if (streams >= kMaxStreams) {
      refuse(res, 503, "Too many pages are open on this panel.");
      return;
    }
    ++streams;
  }
  res.set_header("X-Accel-Buffering", "no");
  res.set_chunked_content_provider(
      "text/event-stream",
      [this, sent = std::uint64_t{0}](std::size_t, httplib::DataSink& sink) mutable {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, kStreamKeepAlive, [&] { return stopping || sequence != sent; });
        if (stopping) {
          lock.unlock();
          sink.done();
          return true;
        }
        std::string message;
        if (sequence == sent) {
          message = ": keep-alive\n\n";
        } else {
          message = "event: state\ndata: " + state_json + "\n\n";
          sent = sequence;
        }
        lock.unlock();
        return sink.write(message.data(), message.size());
      },
      [this](bool) {
        const std::lock_guard lock(mutex);
        --streams;
      });
}

void Service::Impl::routes() {
  server.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
  server.set_keep_alive_timeout(2);
  server.set_default_headers({
      {"Cache-Control", "no-store"},
      {"X-Content-Type-Options", "nosniff"},
      {"X-Frame-Options", "DENY"},
      {"Referrer-Policy", "no-referrer"},
      {"Content-Security-Policy",
       "default-src 'self'; img-src 'self' data:; style-src 'self' 'unsafe-inline'; "
       "frame-ancestors 'none'; form-action 'none'"},
  });
  server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    std::string token = req.get_param_value("token");
    if (token.empty()) token = req.get_header_value("X-ZR48-Token");
    const Verdict verdict = guard.check(req.method, req.get_header_value("Host"),
                                        req.get_header_value("Origin"), token);
    if (verdict.status == 200) return httplib::Server::HandlerResponse::Unhandled;
    refuse(res, verdict.status, verdict.reason);
    return httplib::Server::HandlerResponse::Handled;
  });

  server.Get("/", [this](const httplib::Request&, httplib::Response& res) {
    std::string page(find_asset("index.html")->data);
    for (std::size_t at = page.find("%TOKEN%"); at != std::string::npos;
         at = page.find("%TOKEN%", at)) {
      page.replace(at, 7, guard.token());
    }
    res.set_content(page, content_type("index.html"));
  });
  server.Get(R"(/static/([a-z0-9.\-]+))", [](const httplib::Request& req, httplib::Response& res) {
    const Asset* asset = find_asset(std::string(req.matches[1]));
    if (asset == nullptr || asset->name == "index.html") {
      refuse(res, 404, "No such file.");
      return;
    }
    res.set_content(asset->data.data(), asset->data.size(), content_type(asset->name));
  });
  server.Get("/api/info", [this](const httplib::Request&, httplib::Response& res) {
    const Identity& id = supply->identity();
    json ratings = json::array();
    for (int n = 1; n <= kChannelCount; ++n) {
      const Rating& r = rating_of(n);
      ratings.push_back({{"n", n}, {"volt", r.volt}, {"curr", r.curr}, {"ovp", r.ovp}});
    }
    reply(res, 200,
          {{"resource", id.resource},
           {"idn", id.idn},
           {"driverRevision", id.driver_revision},
           {"firmwareRevision", id.firmware_revision},
           {"simulated", id.simulated},
           {"interval", options.interval_s},
           {"history", options.history_s},
           {"ratings", ratings}});
  });
  server.Get("/api/state", [this](const httplib::Request&, httplib::Response& res) {
    const std::lock_guard lock(mutex);
    res.set_content(state_json, "application/json");
  });
  server.Get("/events",
             [this](const httplib::Request&, httplib::Response& res) { stream_events(res); });
  server.Get("/api/history", [this](const httplib::Request& req, httplib::Response& res) {
    const std::vector<Sample> samples =
        history.window(window_of(req, static_cast<double>(options.history_s)));
    json t = json::array();
    json v = json::array();
    json i = json::array();
    for (const Sample& s : samples) {
      t.push_back(s.time);
      v.push_back(s.volt);
      i.push_back(s.curr);
    }
    reply(res, 200, {{"t", t}, {"v", v}, {"i", i}});
  });
  server.Get("/api/history.csv", [this](const httplib::Request& req, httplib::Response& res) {
    const std::vector<Sample> samples =
        history.window(window_of(req, static_cast<double>(options.history_s)));
    res.set_header("Content-Disposition", "attachment; filename=\"zr48-readings.csv\"");
    res.set_content(History::csv(samples), "text/csv; charset=utf-8");
  });

  server.Post(R"(/api/channel/([^/]+)/(voltage|current|ovp))", [this](const httplib::Request& req,
                                                                      httplib::Response& res) {
    const int n = channel_of(req, res);
    if (n == 0) return;
    const json body = body_of(req, res);
    if (body.is_null()) return;
    const std::string what = req.matches[2];
    const Setting setting = *parse_setting(what);
    std::string text;
    if (body.contains("value") && body["value"].is_string()) {
      text = body["value"].get<std::string>();
    } else if (body.contains("value") && body["value"].is_number()) {
      text = body["value"].dump();
    }
    const CheckedValue value = check_value(n, setting, text);
    if (!value.error.empty()) {
      refuse(res, 400, value.error);
      return;
    }
    answer(res, "ch" + std::to_string(n) + " " + what, supply->set(n, setting, value.text));
  });
  server.Post(R"(/api/channel/([^/]+)/output)",
              [this](const httplib::Request& req, httplib::Response& res) {
                const int n = channel_of(req, res);
                if (n == 0) return;
                const json body = body_of(req, res);
                if (body.is_null()) return;
                if (!body.contains("on") || !body["on"].is_boolean()) {
                  refuse(res, 400, "Say {\"on\": true} or {\"on\": false}.");
                  return;
                }
                answer(res, "ch" + std::to_string(n) + " output",
                       supply->set_output(n, body["on"].get<bool>()));
              });
  server.Post(R"(/api/channel/([^/]+)/clear)",
              [this](const httplib::Request& req, httplib::Response& res) {
                const int n = channel_of(req, res);
                if (n == 0) return;
                answer(res, "ch" + std::to_string(n) + " clear", supply->clear_protection(n));
              });
  server.Post("/api/all-off", [this](const httplib::Request&, httplib::Response& res) {
    answer(res, "all off", supply->all_off());
  });
}

bool parse_listen(const std::string& listen, std::string& host, int& port) {
  const std::size_t colon = listen.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = listen.substr(0, colon);
  if (host.front() == '[') {
    if (host.size() < 3 || host.back() != ']') return false;
    host = host.substr(1, host.size() - 2);
  } else if (host.find(':') != std::string::npos) {
    return false;
  }
  const std::string digits = listen.substr(colon + 1);
  const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  return parsed.ec == std::errc{} && parsed.ptr == digits.data() + digits.size() && port >= 0 &&
         port <= 65535;
}

Service::Service(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Service::~Service() {
  stop();
}

std::unique_ptr<Service> Service::create(const Options& options, std::string& error,
                                         int& exit_code) {
  exit_code = 2;
  std::string host;
  int port = 0;
  if (!parse_listen(options.listen, host, port)) {
    error = "--listen wants HOST:PORT, e.g. 127.0.0.1:8048, not '" + options.listen + "'";
    return nullptr;
  }
  if (!(options.interval_s >= 0.05 && options.interval_s <= 60.0)) {
    error = "the polling interval must be from 0.05 s to 60 s";
    return nullptr;
  }
  if (options.history_s < 60 || options.history_s > 24 * 3600) {
    error = "the history must span from 60 s to 24 h";
    return nullptr;
  }
  exit_code = 1;
  std::unique_ptr<Supply> supply = Supply::open(options.resource, options.options, error);
  if (!supply) return nullptr;
  auto impl = std::make_unique<Impl>(options, std::move(supply), host, port);
  impl->routes();
  if (port == 0) {
    port = impl->server.bind_to_any_port(host);
    if (port < 0) port = 0;
  } else if (!impl->server.bind_to_port(host, port)) {
    port = 0;
  }
  if (port == 0) {
    error = "cannot listen on " + options.listen + " (address in use or not local)";
    return nullptr;
  }
  impl->port = port;
  impl->guard = RequestGuard(impl->guard.token(), host, port);
  std::unique_ptr<Service> service(new Service(std::move(impl)));
  Impl* self = service->impl_.get();
  self->poller = std::thread([self] { self->poll_loop(); });
  exit_code = 0;
  return service;
}

int Service::port() const {
  return impl_->port;
}

const std::string& Service::token() const {
  return impl_->guard.token();
}

std::string Service::url() const {
  const bool v6 = impl_->host.find(':') != std::string::npos;
  const std::string host = v6 ? "[" + impl_->host + "]" : impl_->host;
  return "http://" + host + ":" + std::to_string(impl_->port) + "/?token=" + token();
}

void Service::serve() {
  {
    const std::lock_guard lock(impl_->mutex);
    if (impl_->stopping) return;
    impl_->serving = true;
  }
  impl_->server.listen_after_bind();
  const std::lock_guard lock(impl_->mutex);
  impl_->serving = false;
  impl_->changed.notify_all();
}

void Service::stop() {
  std::unique_lock lock(impl_->mutex);
  impl_->stopping = true;
  impl_->changed.notify_all();
  // The server only takes a stop once it runs: a Serve() that has begun but not yet reached
  // its accept loop is waited for.
  while (impl_->serving) {
    if (impl_->server.is_running()) {
      lock.unlock();
      impl_->server.stop();
      lock.lock();
      impl_->changed.wait(lock, [&] { return !impl_->serving; });
    } else {
      lock.unlock();
      std::this_thread::yield();
      lock.lock();
    }
  }
  lock.unlock();
  if (impl_->poller.joinable()) impl_->poller.join();
}

}  // namespace zr48::panel
