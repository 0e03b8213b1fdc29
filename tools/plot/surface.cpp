#include "tools/plot/surface.hpp"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <memory>

#include "tools/plot/layout.hpp"

namespace {

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length) {
  auto* bytes = static_cast<std::vector<std::uint8_t>*>(closure);
  bytes->insert(bytes->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

}  // namespace

void with_text_context(const std::function<void(cairo_t* cr)>& measure) {
  Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1));
  Context cr(cairo_create(surface.get()));
  set_text_options(cr.get());
  measure(cr.get());
}

bool render_figure(const PlotOptions& options, const DrawFigure& draw, std::vector<std::uint8_t>& bytes,
                   std::string& error) {
  bytes.clear();
  Surface surface;
  switch (options.format) {
    case PlotFormat::Png:
      surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, options.width, options.height));
      break;
    case PlotFormat::Svg:
      surface.reset(cairo_svg_surface_create_for_stream(append_bytes, &bytes, options.width, options.height));
      break;
    case PlotFormat::Pdf:
      surface.reset(cairo_pdf_surface_create_for_stream(append_bytes, &bytes, options.width, options.height));
      if (!options.title.empty())
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, valid_utf8(options.title).c_str());
      cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "flockchase-plot");
      break;
  }
  {
    Context cr(cairo_create(surface.get()));
    set_text_options(cr.get());
    draw(cr.get(), options.format == PlotFormat::Png);
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
      error = std::string("cannot draw the plot: ") + cairo_status_to_string(cairo_status(cr.get()));
      return false;
    }
  }
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  if (options.format == PlotFormat::Png) {
    cairo_surface_flush(surface.get());
    status = cairo_surface_write_to_png_stream(surface.get(), append_bytes, &bytes);
  } else {
    cairo_surface_finish(surface.get());
    status = cairo_surface_status(surface.get());
  }
  if (status != CAIRO_STATUS_SUCCESS) {
    error = std::string("cannot make the picture: ") + cairo_status_to_string(status);
    bytes.clear();
    return false;
  }
  return true;
}
