// Drawing the timeline as a standalone SVG document (no scripts, no external references).
#include "timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace ksfx {
namespace {

constexpr double kLeft = 110, kTop = 56, kLane = 30, kBarHeight = 22, kRight = 20;

std::string escape_xml(const std::string &text) {
  std::string out;
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    default:
      if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
  }
  return out;
}

std::string num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

// A stable colour per sound name.
std::string colour(const std::string &label) {
  unsigned hash = 2166136261u;
  for (char c : label) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return "hsl(" + std::to_string(hash % 360) + ",55%,62%)";
}

struct Layout {
  double seconds, scale;
  size_t lanes;
  double x(double t) const { return kLeft + t * scale; }
  double lane_y(size_t lane) const { return kTop + static_cast<double>(lane) * kLane; }
  double width() const { return kLeft + seconds * scale + kRight; }
};

void draw_axis(std::ostringstream &svg, const Layout &at) {
  double step = at.seconds > 60 ? 10 : at.seconds > 20 ? 2 : 1;
  double bottom = at.lane_y(at.lanes + 2);
  for (double t = 0; t <= at.seconds + 1e-9; t += step) {
    svg << "<line x1=\"" << num(at.x(t)) << "\" y1=\"" << num(kTop - 6) << "\" x2=\""
        << num(at.x(t)) << "\" y2=\"" << num(bottom) << "\" stroke=\"#ddd\"/>\n"
        << "<text x=\"" << num(at.x(t)) << "\" y=\"" << num(kTop - 10)
        << "\" font-size=\"10\" text-anchor=\"middle\">" << num(t) << "s</text>\n";
  }
}

void draw_levels(std::ostringstream &svg, const Layout &at, const Timeline::Bar &bar, double y) {
  std::string volume, pan;
  for (size_t i = 0; i < bar.levels.size(); ++i) {
    const Timeline::Level &l = bar.levels[i];
    double x0 = at.x(l.time);
    double x1 = at.x(i + 1 < bar.levels.size() ? bar.levels[i + 1].time : bar.end);
    double vy = y + kBarHeight - kBarHeight * std::clamp(l.volume, 0, 127) / 127.0;
    double py = y + kBarHeight - kBarHeight * std::clamp(l.pan, 0, 127) / 127.0;
    volume += num(x0) + "," + num(vy) + " " + num(x1) + "," + num(vy) + " ";
    pan += num(x0) + "," + num(py) + " " + num(x1) + "," + num(py) + " ";
  }
  svg << "<polyline points=\"" << volume << "\" fill=\"none\" stroke=\"#333\" stroke-width=\"1\">"
      << "<title>volume</title></polyline>\n"
      << "<polyline points=\"" << pan << "\" fill=\"none\" stroke=\"#fff\" stroke-width=\"1\" "
      << "stroke-dasharray=\"2,2\"><title>pan</title></polyline>\n";
}

void draw_bar(std::ostringstream &svg, const Layout &at, const Timeline &timeline,
              const Timeline::Bar &bar) {
  double y = at.lane_y(static_cast<size_t>(bar.channel)) + (kLane - kBarHeight) / 2;
  double x0 = at.x(bar.start), w = std::max(1.0, at.x(bar.end) - x0);
  std::string name = escape_xml(timeline.label(bar.sound));
  svg << "<g class=\"sound\"><rect x=\"" << num(x0) << "\" y=\"" << num(y) << "\" width=\""
      << num(w) << "\" height=\"" << num(kBarHeight) << "\" rx=\"3\" fill=\""
      << colour(timeline.label(bar.sound)) << "\"><title>" << name << ": " << num(bar.start)
      << "s to " << num(bar.end) << "s" << (bar.resumed ? ", resumed" : "")
      << (bar.suspended ? ", then suspended" : "") << "</title></rect>\n";
  draw_levels(svg, at, bar, y);
  svg << "<text x=\"" << num(x0 + 3) << "\" y=\"" << num(y + 15) << "\" font-size=\"11\">"
      << (bar.resumed ? "&#9654; " : "") << name << "</text>\n";
  if (bar.suspended)
    svg << "<text x=\"" << num(x0 + w - 2) << "\" y=\"" << num(y + 15)
        << "\" font-size=\"11\" text-anchor=\"end\">&#10074;&#10074;</text>\n";
  svg << "</g>\n";
}

void draw_wait(std::ostringstream &svg, const Layout &at, const Timeline &timeline,
               const Timeline::Wait &wait) {
  double y = at.lane_y(static_cast<size_t>(wait.channel)) + kLane - 5;
  std::string name = escape_xml(timeline.label(wait.sound));
  svg << "<line class=\"suspended\" x1=\"" << num(at.x(wait.start)) << "\" y1=\"" << num(y)
      << "\" x2=\"" << num(at.x(wait.end)) << "\" y2=\"" << num(y)
      << "\" stroke=\"#c33\" stroke-width=\"3\" stroke-dasharray=\"4,3\"><title>" << name
      << " suspended " << num(wait.start) << "s to " << num(wait.end) << "s</title></line>\n";
}

void draw_tune(std::ostringstream &svg, const Layout &at,
               const std::vector<Timeline::TuneSpan> &tunes,
               const std::vector<Timeline::Mark> &notes) {
  double y = at.lane_y(at.lanes) + (kLane - kBarHeight) / 2;
  svg << "<text x=\"8\" y=\"" << num(at.lane_y(at.lanes) + 19)
      << "\" font-size=\"12\">tune</text>\n";
  for (const Timeline::TuneSpan &t : tunes) {
    std::string name = escape_xml(t.label);
    svg << "<g class=\"tune\"><rect x=\"" << num(at.x(t.start)) << "\" y=\"" << num(y)
        << "\" width=\"" << num(std::max(1.0, at.x(t.end) - at.x(t.start))) << "\" height=\""
        << num(kBarHeight) << "\" rx=\"3\" fill=\"#9bd\"><title>" << name << ": " << num(t.start)
        << "s to " << num(t.end) << "s</title></rect>\n<text x=\"" << num(at.x(t.start) + 3)
        << "\" y=\"" << num(y + 15) << "\" font-size=\"11\">" << name << "</text></g>\n";
  }
  for (const Timeline::Mark &m : notes)
    svg << "<text x=\"" << num(at.x(m.time) + 2) << "\" y=\"" << num(y + 15)
        << "\" font-size=\"10\" fill=\"#124\">" << escape_xml(m.label) << "</text>\n";
}

void draw_listener(std::ostringstream &svg, const Layout &at,
                   const std::vector<Timeline::Listener> &moves) {
  double y = at.lane_y(at.lanes + 1);
  svg << "<text x=\"8\" y=\"" << num(y + 19) << "\" font-size=\"12\">listener</text>\n";
  std::string line;
  for (const Timeline::Listener &m : moves) {
    double x = at.x(m.time), dy = y + kLane - 4 - (kLane - 8) * ((m.direction + 1) % 512) / 511.0;
    line += num(x) + "," + num(dy) + " ";
    svg << "<circle class=\"listener\" cx=\"" << num(x) << "\" cy=\"" << num(dy)
        << "\" r=\"2.5\" fill=\"#36c\"><title>listener at (" << m.x << ", " << m.y << ") facing "
        << m.direction << " at " << num(m.time) << "s</title></circle>\n";
  }
  if (moves.size() > 1)
    svg << "<polyline points=\"" << line << "\" fill=\"none\" stroke=\"#36c\"/>\n";
}

} // namespace

std::string Timeline::to_svg(const std::string &title) const {
  if (!openBar_.empty() || !openWait_.empty() || (!tunes_.empty() && tunes_.back().end < 0)) {
    Timeline closed = *this;
    closed.finish(endTime_);
    return closed.to_svg(title);
  }
  size_t lanes = last_.size();
  for (const Bar &b : bars_) lanes = std::max(lanes, static_cast<size_t>(b.channel) + 1);
  double seconds = std::max(1.0, std::ceil(endTime_));
  Layout at{seconds, std::clamp(1200.0 / seconds, 20.0, 200.0), lanes};
  double height = at.lane_y(lanes + 1) + kLane + 10; // channels, the tune, the listener

  std::ostringstream svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(at.width()) << "\" height=\""
      << num(height) << "\" font-family=\"sans-serif\">\n"
      << "<title>" << escape_xml(title) << "</title>\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n"
      << "<text x=\"8\" y=\"18\" font-size=\"14\" font-weight=\"bold\">" << escape_xml(title)
      << "</text>\n";
  draw_axis(svg, at);
  for (size_t lane = 0; lane < lanes; ++lane)
    svg << "<text x=\"8\" y=\"" << num(at.lane_y(lane) + 19) << "\" font-size=\"12\">channel "
        << lane << "</text>\n";
  for (const Mark &m : marks_)
    svg << "<line class=\"command\" x1=\"" << num(at.x(m.time)) << "\" y1=\"" << num(kTop - 6)
        << "\" x2=\"" << num(at.x(m.time)) << "\" y2=\"" << num(kTop) << "\" stroke=\"#888\">"
        << "<title>" << num(m.time) << "s " << escape_xml(m.label) << "</title></line>\n";
  for (const Bar &b : bars_) draw_bar(svg, at, *this, b);
  for (const Wait &w : waits_) draw_wait(svg, at, *this, w);
  draw_tune(svg, at, tunes_, tuneNotes_);
  draw_listener(svg, at, listener_);
  svg << "</svg>\n";
  return svg.str();
}

} // namespace ksfx
