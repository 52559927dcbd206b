/*
 * zara15z37: an embeddable sort, merge and copy engine.
 *
 * A run is one call of s_1mains or s_2mains (a whole sort, merge or copy of
 * files), or a sequence of s_1raat calls (a record-at-a-time sort). Runs are
 * process-wide and synchronous: one run at a time per process, called from
 * one thread. Every entry point reports through a 32-bit status word: 0 is
 * success, 1 is end of data in a record-at-a-time run, every other value is
 * a failure (zara_status_text gives a sentence for each).
 */
#ifndef ZARA15Z37_H
#define ZARA15Z37_H

#include <stdint.h>

#if defined(ZARA_BUILDING_LIBRARY)
#define ZARA_API __attribute__((visibility("default")))
#else
#define ZARA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Runs a sort, merge or copy. The three texts are NUL-terminated: the input
 * file names (separated by blanks, commas, plus signs, tabs or line feeds;
 * a name holding those is written between double quotes), the output file
 * name, and the control statements. Stores the number of records written
 * and the status code. */
ZARA_API void s_1mains(const char *input_names, const char *output_name,
                       const char *control_text, uint32_t *records_out,
                       uint32_t *status_out);

/* The same with explicit lengths; the texts need not be NUL-terminated and
 * are never read past their lengths. */
ZARA_API void s_2mains(const char *input_names, uint32_t input_names_length,
                       const char *output_name, uint32_t output_name_length,
                       const char *control_text, uint32_t control_length,
                       uint32_t *records_out, uint32_t *status_out);

/* Record-at-a-time sort. function 1: open a run; data is the control text
 * and *length its length. 2: release the record at data, *length bytes.
 * 3: receive the next record into data (which must hold the longest
 * record); *length receives its length; status 1 means no more records.
 * 4: end the run early. Other codes: status 260. */
ZARA_API void s_1raat(int32_t function, void *data, uint32_t *length,
                      uint32_t *status_out);

/* A short English sentence for a status code; "unknown status" for codes
 * the engine never reports. The text is static. */
ZARA_API const char *zara_status_text(uint32_t status);

/* After a run that failed while parsing its control text: the byte offset
 * in the control text of the token (or the end of the text) at which it
 * failed. 0xFFFFFFFF after any other run. */
ZARA_API uint32_t zara_error_offset(void);

/* After a run that failed on a file operation (statuses such as 210, 214,
 * 216, 229, 240, 3xx): the name of the file and the system's error number
 * (errno) of the failed call, or 0 where the failure was not a system
 * call's (a short header, a short write). "" and 0 after other runs. */
ZARA_API const char *zara_error_file(void);
ZARA_API int zara_error_errno(void);

/* Progress of a whole run (s_1mains, s_2mains), reported through an
 * optional callback at memory-load and merge boundaries. */
enum {
  ZARA_PHASE_READING = 0, /* reading and sorting memory loads */
  ZARA_PHASE_MERGING = 1, /* merging work files */
  ZARA_PHASE_DONE = 2     /* the run has ended */
};
struct zara_progress {
  uint64_t bytes_read;      /* input bytes read so far */
  uint64_t bytes_total;     /* total size of the input files, 0 if unknown */
  uint32_t memory_loads;    /* memory loads read so far */
  uint32_t work_files;      /* sorted runs on work files now */
  uint32_t merge_passes;    /* merges finished (intermediate and final) */
  uint32_t records_written; /* records written by the current pass */
  uint32_t phase;           /* ZARA_PHASE_... */
};
typedef void (*zara_progress_fn)(const struct zara_progress *progress, void *context);
/* Sets the callback (NULL: none) and a context handed back to it. The
 * callback runs on the caller's thread, inside the run; it must not start
 * another run. */
ZARA_API void zara_set_progress(zara_progress_fn fn, void *context);

/* ---- Routines and data exported for adaptors and extensions. ---- */

/* The record held back by duplicate processing: its address (always the
 * hold area), length, sequence number, and a word that stays 0. */
struct zara_hold_area_info {
  void *address;
  uint32_t length;
  uint32_t sequence;
  uint32_t reserved;
};
ZARA_API extern struct zara_hold_area_info hold_area_info;

/* Two-byte scratch used to swap big-endian CVS lengths into machine order. */
ZARA_API extern uint16_t bs_union;

/* Duplicate processing of one record on its way to the output; returns 0 on
 * success, 1 on failure (the run's status is then set). */
ZARA_API int dupcheck(const uint8_t *record, uint32_t length,
                      uint32_t sequence, uint32_t fourth);
/* Compares a record with the held record over the duplicate fields:
 * returns 1 when it is a duplicate (and counts it), 0 otherwise. */
ZARA_API int dc_check_fields(const uint8_t *record, uint32_t length);
/* Makes a record the held record; returns 0, or 1 with status 256 when it
 * does not fit the hold area. */
ZARA_API int dc_fill_hold(const uint8_t *record, uint32_t length,
                          uint32_t sequence);
/* Adds the SUM fields of a record into the held record. Returns 0. */
ZARA_API int sum_fields(const uint8_t *record, uint32_t length,
                        uint32_t sequence, uint32_t fourth);
/* Removes the head entry of the merge queue. */
ZARA_API void m_que_reduce(void);
/* Contains-comparisons of the CO operator: 0 when the n bytes of value
 * agree with the n bytes of field (strncmpi2: case-blind for letters, and
 * '*' in value agrees with any byte), nonzero otherwise. */
ZARA_API int strncmp2(const char *value, const char *field, uint32_t n);
ZARA_API int strncmpi2(const char *value, const char *field, uint32_t n);

#ifdef __cplusplus
}
#endif

#endif /* ZARA15Z37_H */
