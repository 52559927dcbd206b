#include "control/keyword_tables.h"

namespace zara {

// Each entry: minimum abbreviation length, keyword padded with blanks.

const uint8_t parm_table[] = {
    5,
    2, 'A', 'D', 'D', 'R',
    1, 'B', 'Y', 'P', 'A',
    4, 'C', 'O', 'R', 'E',
    2, 'D', 'E', 'L', 'I',
    1, 'F', 'I', 'L', 'E',
    2, 'I', 'N', 'C', 'L',
    1, 'K', 'E', 'Y', 'O',
    1, 'L', 'I', 'M', 'I',
    1, 'M', 'E', 'R', 'G',
    2, 'O', 'M', 'I', 'T',
    4, 'O', 'U', 'T', 'R',
    1, 'P', 'A', 'U', 'S',
    1, 'R', 'E', 'C', 'O',
    1, 'S', 'O', 'R', 'T',
    1, 'W', 'O', 'R', 'K',
    2, 'A', 'L', 'T', 'S',
    2, 'E', 'Q', 'U', 'A',
    4, 'D', 'U', 'P', 'O',
    4, 'D', 'U', 'P', 'E',
    4, 'D', 'U', 'P', 'I',
    4, 'O', 'R', 'I', 'G',
    2, 'A', 'P', 'O', 'S',
    3, 'S', 'U', 'M', ' ',
    1, 'L', 'A', 'S', 'T',
    4, 'A', 'P', 'P', 'E',
    4, 'O', 'V', 'E', 'R',
    2, 'O', 'P', 'E', 'N',
    4, 'N', 'O', 'Y', 'I',
    3, 'V', 'E', 'R', 'B',
    0xFF};

const uint8_t sort_fieldtypes[] = {
    4,
    1, 'C', 'H', 'A',
    3, 'A', 'L', 'P',
    2, 'S', 'U', ' ',
    3, 'S', 'L', 'I',
    1, 'N', 'U', 'M',
    3, 'S', 'T', 'I',
    3, 'S', 'T', 'S',
    1, 'Z', 'D', ' ',
    1, 'T', ' ', ' ',
    1, 'I', 'N', 'T',
    1, 'P', 'D', ' ',
    2, 'B', 'I', 'N',
    3, 'A', 'L', 'T',
    1, 'E', ' ', ' ',
    1, 'W', ' ', ' ',
    2, 'S', 'P', ' ',
    2, 'D', 'P', ' ',
    1, 'F', 'I', ' ',
    1, 'F', 'L', ' ',
    0xFF};

const uint8_t direction_table[] = {
    2,
    1, 'A',
    1, 'D',
    0xFF};

const uint8_t filetype_table[] = {
    4,
    3, 'F', 'I', 'X',
    2, 'F', 'E', ' ',
    3, 'T', 'X', 'T',
    2, 'V', 'S', ' ',
    2, 'B', 'T', ' ',
    2, 'R', 'V', ' ',
    3, 'C', 'V', 'S',
    3, 'P', 'R', 'E',
    2, 'G', 'P', ' ',
    2, 'D', 'B', '3',
    0xFF};

const uint8_t addrout_table[] = {
    4,
    3, 'R', 'R', 'N',
    0xFF};

const uint8_t bypass_table1[] = {
    2,
    1, 'D',
    1, 'R',
    0xFF};

const uint8_t condition_table[] = {
    3,
    2, 'C', 'O',
    2, 'E', 'Q',
    2, 'N', 'E',
    2, 'G', 'T',
    2, 'G', 'E',
    2, 'L', 'T',
    2, 'L', 'E',
    0xFF};

const uint8_t connector_table[] = {
    4,
    3, 'X', 'X', 'X',
    1, 'A', 'N', 'D',
    1, 'O', 'R', ' ',
    0xFF};

const uint8_t outrec_table[] = {
    5,
    4, 'X', 'X', 'X', 'X',
    4, 'R', 'E', 'C', 'L',
    3, 'R', 'R', 'N', ' ',
    3, 'R', 'B', 'A', ' ',
    4, 'C', 'R', 'L', 'F',
    4, 'B', 'T', '-', 'R',
    4, 'H', 'L', '-', 'R',
    4, 'D', 'U', 'P', 'C',
    4, 'A', 'R', 'R', 'N',
    0xFF};

const uint8_t sum_fieldtypes[] = {
    4,
    1, 'Z', 'D', ' ',
    2, 'B', 'I', 'N',
    1, 'I', 'N', 'T',
    1, 'P', 'D', ' ',
    1, 'E', 'E', 'E',
    2, 'F', 'L', ' ',
    1, 'W', 'O', 'R',
    2, 'F', 'I', 'X',
    1, 'N', 'U', 'M',
    0xFF};

}  // namespace zara
