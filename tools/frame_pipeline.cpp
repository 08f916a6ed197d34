#include "frame_pipeline.h"

namespace AztecTools {

FramePipeline::FramePipeline(int threads, ReadSettings settings, Sink sink)
    : settings_(settings), sink_(std::move(sink)), maxHeld_(static_cast<std::size_t>(threads) + 2) {
  for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
}

FramePipeline::~FramePipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    queue_.clear();
  }
  workReady_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void FramePipeline::work() {
  for (;;) {
    std::shared_ptr<Slot> slot;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      workReady_.wait(lock, [&] { return closing_ || !queue_.empty(); });
      if (closing_) return;
      slot = std::move(queue_.front());
      queue_.pop_front();
    }
    FrameReport report;
    try {
      report = readFrame(*slot->event.frame, settings_, slot->event.label);
    } catch (const std::exception& e) {  // out of memory while describing the result
      report.label = slot->event.label;
      report.failed = true;
      report.problem = std::string("reader failed: ") + e.what();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slot->report = std::move(report);
      slot->event.frame.reset();  // the frame is no longer needed; do not hold it until delivery
      slot->done = true;
    }
    slotDone_.notify_all();
  }
}

bool FramePipeline::submit(PipelineEvent event) {
  if (stopped_) return false;
  auto slot = std::make_shared<Slot>();
  slot->event = std::move(event);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot->isFrame = slot->event.frame.has_value();
    slot->done = !slot->isFrame;
    if (!slot->done) queue_.push_back(slot);
    pending_.push_back(slot);
  }
  workReady_.notify_one();
  deliver(false);
  return !stopped_;
}

void FramePipeline::finish() {
  deliver(true);
}

// Hands finished events to the sink in order: those ready now, and while more than maxHeld_
// are pending (or all, when waitForAll) waits for the oldest.
void FramePipeline::deliver(bool waitForAll) {
  while (!pending_.empty() && !stopped_) {
    std::shared_ptr<Slot> front = pending_.front();
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!front->done) {
        if (!waitForAll && pending_.size() <= maxHeld_) return;
        slotDone_.wait(lock, [&] { return front->done; });
      }
    }
    pending_.pop_front();
    if (!sink_(front->event, front->isFrame ? &front->report : nullptr)) stopped_ = true;
  }
  if (stopped_) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.clear();
    pending_.clear();
  }
}

}  // namespace AztecTools
