// Which ticks are running, innermost last. The two ticks and the operator's notices nest inside one another
// through yields, pauses and modal boxes on the one user-interface thread; this record decides which tick
// may start where.
#pragma once

#include <algorithm>
#include <vector>

class TickNesting {
 public:
  enum class Frame {
    Collection,        // a collection tick, from its start to its end (its yield included)
    ConnectionNotice,  // the collection tick's "Unable to connect" notice is open
    Processing,        // a processing tick, with its yields and pauses
    Notice,            // a modal notice of the operator's is open
  };

  // A collection tick starts anywhere but directly inside its own yield, so the chat keeps being read
  // while a processing tick or a notice that started there holds the stack. It never starts while its
  // connection notice is open: the notices would pile up.
  bool collectionMayStart() const {
    if (!frames_.empty() && frames_.back() == Frame::Collection)
      return false;
    return std::find(frames_.begin(), frames_.end(), Frame::ConnectionNotice) == frames_.end();
  }

  // Two console sequences must never interleave: a processing tick never starts while another one is
  // running, wherever that one is on the stack.
  bool processingMayStart() const {
    return std::find(frames_.begin(), frames_.end(), Frame::Processing) == frames_.end();
  }

  // Marks a frame for as long as the returned scope lives.
  class Scope {
   public:
    Scope(TickNesting& nesting, Frame frame) : nesting_(nesting) { nesting_.frames_.push_back(frame); }
    ~Scope() { nesting_.frames_.pop_back(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    TickNesting& nesting_;
  };

 private:
  std::vector<Frame> frames_;
};
