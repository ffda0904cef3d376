// The control mode's command reader, acknowledgements and request record.
#include "ControlServer.h"

#include <chrono>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "Base64.h"
#include "variant/KvVariantMap.h"

namespace ReferenceHost {

namespace {

std::string PathIn(const std::string& directory, const char* name) {
  return (std::filesystem::path(directory) / name).string();
}

// Creates or empties a file; false when it cannot be written.
bool Truncate(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    return false;
  }
  std::fclose(file);
  return true;
}

// Attempts to replace the acknowledgement file, kPollMs apart, before giving up.
constexpr int kRenameAttempts = 2000;
// How long reopening the request pipe after a drop may take.
constexpr uint32_t kOpenTimeoutMs = 300;

// Most actions one command may queue: enough for any test, too few to exhaust memory.
constexpr uint32_t kMaxCount = 100000;

uint32_t Unsigned(const IPC::KvVariantMap& command, const char* key, uint32_t defaultValue) {
  return command.Has(key) && command.IsUInt(key) ? command.GetUInt(key) : defaultValue;
}

}  // namespace

ControlServer::ControlServer(std::string directory, Host::HostService& service)
    : directory_(std::move(directory)), service_(service) {}

ControlServer::~ControlServer() {
  Stop();
  if (requests_) {
    std::fclose(requests_);
  }
}

bool ControlServer::Start(std::function<void()> onStop) {
  onStop_ = std::move(onStop);
  std::error_code error;
  if (!std::filesystem::is_directory(directory_, error)) {
    std::cerr << "hostlink-host: control directory " << directory_ << " does not exist\n";
    return false;
  }
  std::filesystem::remove(PathIn(directory_, "ack"), error);
  if (!Truncate(PathIn(directory_, "commands"))) {
    std::cerr << "hostlink-host: cannot write in control directory " << directory_ << "\n";
    return false;
  }
  requests_ = std::fopen(PathIn(directory_, "requests").c_str(), "wb");
  if (!requests_) {
    std::cerr << "hostlink-host: cannot write in control directory " << directory_ << "\n";
    return false;
  }
  reader_ = std::thread([this] { ReadCommands(); });
  return true;
}

void ControlServer::Stop() {
  stop_ = true;
  if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) {
    reader_.join();
  }
}

void ControlServer::Answer(const std::string& request, IPC::ServerAnswer& answer) {
  RequestAction action = NextAction(request);
  if (action.delayMs > 0 && !WaitUnlessStopping(action.delayMs)) {
    return;
  }
  switch (action.kind) {
    case RequestAction::Kind::Reply:
      // Compressed here and sent without its text, so that the channel sends even what
      // the plug-in must refuse (a text that expands more than 100 times): tests use it.
      if (action.text.empty() || replyCodec_.Compress(action.text, answer.stream) != 0) {
        std::string().swap(answer.stream);
        answer.text = std::move(action.text);
      }
      return;
    case RequestAction::Kind::NoReply:
      return;
    case RequestAction::Kind::Drop:
      DropConnection();
      return;
    case RequestAction::Kind::Answer:
      service_.AnswerRequest(request, answer);
      return;
  }
}

void ControlServer::Stopping() {
  {
    std::lock_guard<std::mutex> lock(stateLock_);
    stopping_ = true;
  }
  stateChanged_.notify_all();
}

void ControlServer::DropConnection() {
  IPC::IPCInterface& pipe = service_.RequestPipe();
  std::unique_lock<std::mutex> lock(stateLock_);
  dropped_ = true;
  resumeWanted_ = false;
  lock.unlock();
  // Closing the listening end too makes the plug-in's attempt to reconnect fail, so its
  // pending call fails at once instead of waiting on a new connection.
  pipe.Close();
  lock.lock();
  stateChanged_.wait(lock, [this] { return stopping_ || resumeWanted_; });
  if (!stopping_) {
    lock.unlock();
    pipe.Open(kOpenTimeoutMs);
    lock.lock();
  }
  dropped_ = false;
  resumeWanted_ = false;
  stateChanged_.notify_all();
}

bool ControlServer::ResumeListening() {
  std::unique_lock<std::mutex> lock(stateLock_);
  if (!dropped_) {
    return false;
  }
  resumeWanted_ = true;
  stateChanged_.notify_all();
  stateChanged_.wait(lock, [this] { return !dropped_; });
  return true;
}

bool ControlServer::WaitUnlessStopping(uint32_t ms) {
  std::unique_lock<std::mutex> lock(stateLock_);
  return !stateChanged_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

RequestAction ControlServer::NextAction(const std::string& request) {
  std::lock_guard<std::mutex> lock(lock_);
  ++requestCount_;
  if (requests_) {
    // Flushed before the answer goes out, so the test can read it as soon as its call
    // returns.
    std::fprintf(requests_, "%zu\n", request.size());
    std::fwrite(request.data(), 1, request.size(), requests_);
    std::fputc('\n', requests_);
    std::fflush(requests_);
  }
  if (actions_.empty()) {
    return RequestAction();
  }
  RequestAction action = std::move(actions_.front());
  actions_.pop_front();
  return action;
}

void ControlServer::ReadCommands() {
  const std::string path = PathIn(directory_, "commands");
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    std::cerr << "hostlink-host: cannot read " << path << "\n";
    return;
  }
  std::string pending;
  std::vector<char> buffer(65536);
  while (!stop_) {
    // Reading past the end sets the end-of-file flag; a seek to where we are clears it,
    // and also the C run-time's own end-of-file mark that some keep per descriptor, so
    // the next read sees what the test appended since.
    std::fseek(file, 0, SEEK_CUR);
    size_t count = 0;
    bool readSome = false;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
      pending.append(buffer.data(), count);
      readSome = true;
    }
    size_t lineEnd = 0;
    while (readSome && (lineEnd = pending.find('\n')) != std::string::npos) {
      const std::string line = pending.substr(0, lineEnd);
      pending.erase(0, lineEnd + 1);
      if (!line.empty()) {
        Execute(line);
      }
      if (stop_) {
        break;
      }
    }
    if (!readSome) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
  }
  std::fclose(file);
}

void ControlServer::Execute(const std::string& line) {
  const IPC::KvVariantMap command(line);
  const uint64_t seq = command.Has("seq") && command.IsUInt64("seq") ? command.GetUInt64("seq") : 0;
  const std::string op = command.Has("op") && command.IsString("op") ? command.GetString("op") : "";
  // Whatever the command, a connection dropped earlier is served again first: the
  // test has seen its call fail by the time it sends anything else.
  const bool resumed = ResumeListening();

  auto decodedData = [&](std::string& bytes) {
    return command.Has("data") && command.IsString("data") &&
           Base64::Decode(command.GetString("data"), bytes);
  };
  auto queue = [&](RequestAction action, size_t count) {
    std::lock_guard<std::mutex> lock(lock_);
    for (size_t i = 0; i < count; ++i) {
      actions_.push_back(action);
    }
  };

  RequestAction action;
  action.delayMs = Unsigned(command, "delay", 0);
  if (op == "reply") {
    if (!decodedData(action.text)) {
      Acknowledge(seq, false, "reply needs base64 \"data\"", nullptr, nullptr);
      return;
    }
    action.kind = RequestAction::Kind::Reply;
    queue(std::move(action), 1);
  } else if (op == "answer") {
    queue(std::move(action), 1);
  } else if (op == "noReply") {
    action.kind = RequestAction::Kind::NoReply;
    const uint32_t count = Unsigned(command, "count", 1);
    if (count > kMaxCount) {
      Acknowledge(seq, false, "noReply count above " + std::to_string(kMaxCount), nullptr, nullptr);
      return;
    }
    queue(std::move(action), count);
  } else if (op == "drop") {
    action.kind = RequestAction::Kind::Drop;
    queue(std::move(action), 1);
  } else if (op == "clear") {
    std::lock_guard<std::mutex> lock(lock_);
    actions_.clear();
  } else if (op == "fire") {
    const std::string name =
        command.Has("name") && command.IsString("name") ? command.GetString("name") : "";
    const bool fired = service_.FireCallback(name);
    Acknowledge(seq, true, "", nullptr, &fired);
    return;
  } else if (op == "callbackText") {
    std::string bytes;
    if (!decodedData(bytes)) {
      Acknowledge(seq, false, "callbackText needs base64 \"data\"", nullptr, nullptr);
      return;
    }
    const bool sent = service_.SendCallbackText(std::move(bytes));
    Acknowledge(seq, true, "", nullptr, &sent);
    return;
  } else if (op == "listen") {
    Acknowledge(seq, true, "", nullptr, &resumed);
    return;
  } else if (op == "status") {
    IPC::KvVariantMap status;
    status.Set("callbacks", service_.GetRegisteredCallbacks());
    status.Set("apiTimeout", service_.GetApiTimeout());
    {
      std::lock_guard<std::mutex> lock(lock_);
      status.Set("pending", static_cast<uint64_t>(actions_.size()));
      status.Set("requests", requestCount_);
    }
    Acknowledge(seq, true, "", &status, nullptr);
    return;
  } else if (op == "stop") {
    Acknowledge(seq, true, "", nullptr, nullptr);
    stop_ = true;
    if (onStop_) {
      onStop_();
    }
    return;
  } else {
    Acknowledge(seq, false, "Unknown command: " + (op.empty() ? line : op), nullptr, nullptr);
    return;
  }
  Acknowledge(seq, true, "", nullptr, nullptr);
}

void ControlServer::Acknowledge(uint64_t seq, bool ok, const std::string& error,
                                const IPC::KvVariantMap* result, const bool* flag) {
  IPC::KvVariantMap ack;
  ack.Set("seq", seq);
  ack.Set("ok", ok);
  if (!ok) {
    ack.Set("error", error);
  } else if (result) {
    ack.Set("result", *result);
  } else if (flag) {
    ack.Set("result", *flag);
  }
  const std::string text = ack.ToJSONString(true) + "\n";
  const std::string path = PathIn(directory_, "ack");
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    std::cerr << "hostlink-host: cannot write " << temporary << "\n";
    return;
  }
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  // A rename replaces the old acknowledgement whole: the test never reads half of one.
  // On Windows it fails while the test has the old one open for reading: try again shortly.
  std::error_code renameError;
  std::filesystem::rename(temporary, path, renameError);
  for (int attempt = 0; renameError && attempt < kRenameAttempts; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    std::filesystem::rename(temporary, path, renameError);
  }
  if (renameError) {
    std::cerr << "hostlink-host: cannot write " << path << "\n";
  }
}

}  // namespace ReferenceHost
