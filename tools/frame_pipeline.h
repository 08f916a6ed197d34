#pragma once
// Reads frames on a few worker threads while the caller reads the input, and hands the
// outcomes back in the order they were submitted. At most `threads + 2` frames are held at
// once: submit() waits for the oldest when that many are queued.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "frame_reading.h"
#include "frame_source.h"

namespace AztecTools {

// What happened next on the inputs: a frame to read, an input's error, or an input's end.
struct PipelineEvent {
  std::size_t input = 0;  // which input it belongs to
  FrameLabel label;
  std::optional<Velmora::Image::GrayBuf> frame;  // nothing for an error or an end
  std::string error;                             // empty unless an error
};

class FramePipeline {
 public:
  // `sink` sees every event in submission order on the submitting thread, with the frame's
  // report (nullptr for an error or an end); returning false stops everything after it.
  using Sink = std::function<bool(const PipelineEvent&, const FrameReport*)>;
  FramePipeline(int threads, ReadSettings settings, Sink sink);
  ~FramePipeline();
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // False once the sink has asked to stop.
  bool submit(PipelineEvent event);
  // Waits for everything submitted and hands it to the sink.
  void finish();

 private:
  struct Slot {
    PipelineEvent event;
    FrameReport report;
    bool isFrame = false;
    bool done = false;
  };
  void work();
  void deliver(bool waitForAll);

  ReadSettings settings_;
  Sink sink_;
  std::size_t maxHeld_;
  bool stopped_ = false;                       // the sink asked to stop (submitting thread only)
  std::deque<std::shared_ptr<Slot>> pending_;  // submitted, not yet delivered, in order

  std::mutex mutex_;
  std::condition_variable workReady_, slotDone_;
  std::deque<std::shared_ptr<Slot>> queue_;  // frames waiting for a worker
  bool closing_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace AztecTools
