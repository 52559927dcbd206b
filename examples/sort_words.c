/* Sorts the lines of a text file case-blind on their first 20 bytes:
 *   sort_words INPUT OUTPUT */
#include <stdio.h>
#include <zara15z37.h>

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: sort_words INPUT OUTPUT\n");
    return 2;
  }
  uint32_t records = 0, status = 0;
  s_1mains(argv[1], argv[2], "SORT (1,20,ALP,A)", &records, &status);
  if (status != 0) {
    fprintf(stderr, "sort_words: status %u: %s\n", status, zara_status_text(status));
    return 1;
  }
  printf("%u records\n", records);
  return 0;
}
