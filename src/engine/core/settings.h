// The engine's process-wide settings: date format, deleted-record visibility, decimals,
// allowed server types and cache sizes. Each is read and written under one lock, except the
// deleted-record flag, which navigation reads at every step.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "engine/core/dates.h"

namespace varelum::engine {

class EngineSettings {
  public:
    static EngineSettings& instance();

    DateFormat date_format() const;
    void set_date_format(const DateFormat& format);
    bool show_deleted() const { return show_deleted_.load(std::memory_order_relaxed); }
    void set_show_deleted(bool show) { show_deleted_.store(show, std::memory_order_relaxed); }
    int decimals() const { return decimals_.load(std::memory_order_relaxed); }
    void set_decimals(int decimals) { decimals_.store(decimals, std::memory_order_relaxed); }
    std::uint16_t server_types() const { return server_types_.load(); }
    void set_server_types(std::uint16_t mask) { server_types_.store(mask); }
    std::uint16_t cached_tables = 0;
    std::uint16_t cached_cursors = 25;

  private:
    mutable std::mutex mutex_;
    DateFormat date_format_;
    std::atomic<bool> show_deleted_{true};
    std::atomic<int> decimals_{2};
    std::atomic<std::uint16_t> server_types_{7};  // every type until the caller narrows it
};

}  // namespace varelum::engine
