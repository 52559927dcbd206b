// The exported entry points of whole runs: store the texts, run, report.
#include <cstring>

#include "engine/driver.h"
#include "engine/raat.h"
#include "engine/run_state.h"
#include "engine/write_behind.h"
#include "zara15z37.h"

namespace {

uint32_t text_length(const char* text) {
  return text ? static_cast<uint32_t>(strlen(text)) : 0;
}

void run_whole(const char* input_names, uint32_t input_names_length, const char* output_name,
               uint32_t output_name_length, const char* control_text, uint32_t control_length,
               uint32_t* records_out, uint32_t* status_out) {
  using zara::gv;
  gv.input_names = input_names;
  gv.input_names_length = input_names ? input_names_length : 0;
  gv.output_name = output_name;
  gv.output_name_length = output_name ? output_name_length : 0;
  gv.control_text = control_text;
  gv.control_length = control_text ? control_length : 0;
  zara::mainline();
  zara::write_behind_stop();
  if (records_out) *records_out = gv.records_written;
  if (status_out) *status_out = gv.status_word;
}

}  // namespace

extern "C" {

ZARA_API void s_1mains(const char* input_names, const char* output_name, const char* control_text,
                       uint32_t* records_out, uint32_t* status_out) {
  run_whole(input_names, text_length(input_names), output_name, text_length(output_name),
            control_text, text_length(control_text), records_out, status_out);
}

ZARA_API void s_2mains(const char* input_names, uint32_t input_names_length,
                       const char* output_name, uint32_t output_name_length,
                       const char* control_text, uint32_t control_length, uint32_t* records_out,
                       uint32_t* status_out) {
  run_whole(input_names, input_names_length, output_name, output_name_length, control_text,
            control_length, records_out, status_out);
}

ZARA_API void s_1raat(int32_t function, void* data, uint32_t* length, uint32_t* status_out) {
  zara::raat_call(function, data, length);
  zara::write_behind_stop();
  if (status_out) *status_out = zara::gv.status_word;
}

}  // extern "C"

extern "C" {

ZARA_API uint32_t zara_error_offset(void) { return zara::gv.error_offset; }

ZARA_API const char* zara_error_file(void) { return zara::gv.error_path; }

ZARA_API int zara_error_errno(void) { return zara::gv.error_errno; }

}  // extern "C"
