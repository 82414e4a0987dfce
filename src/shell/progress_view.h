// The two progress views the driver creates at fixed points of a job: the
// archive view after a successful open, the Chapter 10 view at the start of
// the run. The window supplies the factory, so the driver stays free of any
// window toolkit; without a factory there are no views.
#pragma once

#include <memory>

class orloarkclass;
class orloarkpackclass;
class ch10convertprocessclass;

class progressviewclass {
 public:
  virtual ~progressviewclass() = default;
  // First show: the view becomes visible and draws its fixed labels.
  virtual void FirstShow() = 0;
  // Fixed refresh (the window's RefreshControls) and periodic refresh (the
  // refresh tick); both only read the counters of the objects they show.
  virtual void FixedRefresh() = 0;
  virtual void PeriodicRefresh() = 0;
};

class progressviewfactoryclass {
 public:
  virtual ~progressviewfactoryclass() = default;
  // The view reads the archive and the packed-bit converter's frame
  // counters; it never owns what it reads and lives until the driver's
  // ResetJob.
  virtual std::unique_ptr<progressviewclass> CreateArchiveView(const orloarkclass& archive,
                                                               const orloarkpackclass& pack) = 0;
  // The Chapter 10 view reads the converter's counters and takes its
  // percentage from the archive bytes read (the stream's size is known only
  // at the end).
  virtual std::unique_ptr<progressviewclass> CreateCh10View(
      const ch10convertprocessclass& converter, const orloarkclass& archive) = 0;
};
