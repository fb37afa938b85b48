// A panel serving a session with an in-process simulated instrument, both on their own loopback
// address, and an HTTP client that speaks to the panel as a browser page would.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "service.h"
#include "zr48sim/server.h"

namespace zr48::panel::test {

inline constexpr const char* kAddress = "127.0.0.17";

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(""); }
  void TearDown() override { Stop(); }

  void Start(const std::string& driver_options) {
    Options options;
    options.resource = sim_.resource();
    options.options = driver_options;
    options.listen = std::string(kAddress) + ":0";
    options.interval_s = 0.2;
    options.history_s = 600;
    std::string error;
    int exit_code = 0;
    service_ = Service::create(options, error, exit_code);
    ASSERT_NE(service_, nullptr) << error;
    serving_ = std::thread([this] { service_->serve(); });
    client_ = std::make_unique<httplib::Client>(kAddress, service_->port());
    client_->set_read_timeout(10, 0);
  }

  void Stop() {
    if (service_) service_->stop();
    if (serving_.joinable()) serving_.join();
    service_.reset();
  }

  std::string Origin() const {
    return "http://" + std::string(kAddress) + ":" + std::to_string(service_->port());
  }
  std::string WithToken(const std::string& path) const {
    return path + (path.find('?') == std::string::npos ? "?" : "&") + "token=" + service_->token();
  }

  // A POST as the panel's own page sends it.
  httplib::Result Post(const std::string& path, const nlohmann::json& body,
                       httplib::Headers headers = {}) {
    if (headers.find("Origin") == headers.end()) headers.emplace("Origin", Origin());
    if (headers.find("X-ZR48-Token") == headers.end()) {
      headers.emplace("X-ZR48-Token", service_->token());
    }
    return client_->Post(path.c_str(), headers, body.dump(), "application/json");
  }

  // Reads the event stream until a state satisfies `done`; returns that state.
  template <typename Predicate>
  nlohmann::json WaitForState(Predicate done) {
    nlohmann::json found;
    std::string buffer;
    client_->Get(WithToken("/events").c_str(), [&](const char* data, std::size_t size) {
      buffer.append(data, size);
      for (std::size_t end = buffer.find("\n\n"); end != std::string::npos;
           end = buffer.find("\n\n")) {
        const std::string event = buffer.substr(0, end);
        buffer.erase(0, end + 2);
        const std::size_t data_at = event.find("data: ");
        if (data_at == std::string::npos) continue;
        nlohmann::json state = nlohmann::json::parse(event.substr(data_at + 6));
        if (done(state)) {
          found = std::move(state);
          return false;
        }
      }
      return true;
    });
    return found;
  }

  zr48::sim::Server sim_{0, kAddress};
  std::unique_ptr<Service> service_;
  std::thread serving_;
  std::unique_ptr<httplib::Client> client_;
};

}  // namespace zr48::panel::test
