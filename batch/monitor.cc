#include "batch/monitor.h"

#include <cstdio>
#include <ctime>
#include <utility>

#include "batch/escape.h"
#include "batch/job_figures.h"
#include "batch/report.h"

Monitor::Monitor(Study* study, size_t parallel, std::string summary)
    : study_(study),
      progress_(*study, parallel),
      summary_(std::move(summary)),
      written_(std::chrono::steady_clock::now()) {}

void Monitor::KeepReport(std::string path, ReportContext context) {
  report_ = std::move(path);
  context_ = std::move(context);
  report_written_ = std::chrono::steady_clock::now();
}

void Monitor::Started(size_t i) {
  study_->Start(i);
  report_changed_ = true;
}

void Monitor::Ended(size_t i, Result result) {
  if (study_->ended[i]) return;
  study_->End(i, std::move(result));
  progress_.JobEnded(i);
  changed_ = true;
  report_changed_ = true;
}

void Monitor::EndTheRest(State state, const std::string& meaning) {
  for (size_t i = 0; i < study_->jobs.size(); ++i)
    if (!study_->ended[i]) Ended(i, Unrun(state, meaning, LogPath(study_->jobs[i])));
}

void Monitor::Tick() {
  progress_.Tick();
  if (changed_ && std::chrono::steady_clock::now() - written_ >= std::chrono::seconds(1))
    WriteSummaryNow();
  if (report_changed_ &&
      std::chrono::steady_clock::now() - report_written_ >= std::chrono::seconds(kReportSeconds))
    WriteReportNow();
}

void Monitor::Finish() {
  progress_.End();
  WriteSummaryNow();
  context_.ended = InstantText(std::time(nullptr));
  WriteReportNow();
}

void Monitor::WriteSummaryNow() {
  changed_ = false;
  written_ = std::chrono::steady_clock::now();
  if (summary_.empty()) return;
  Note(WriteSummary(summary_, *study_));
}

void Monitor::WriteReportNow() {
  report_changed_ = false;
  report_written_ = std::chrono::steady_clock::now();
  if (report_.empty()) return;
  context_.written = InstantText(std::time(nullptr));
  Note(WriteHtmlReport(report_, *study_, context_));
}

void Monitor::Note(const std::string& why) {
  if (why.empty() || !failure_.empty()) return;
  failure_ = why;
  std::fprintf(stderr, "kvsolver-batch: %s\n", EscapeControls(why).c_str());
}
