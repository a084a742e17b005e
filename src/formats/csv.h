// Comma-separated contact lists (.csv), and the CSV export of Corel Address Book 8 (.abx).
// Every program names its columns differently, so the reader finds its columns through a
// field map the user can edit (kept under "Software\Vesk\CSV"); values follow RFC 4180, so
// quoted values may hold commas, doubled quotes and line breaks.
#pragma once

#include "formats/csv_automatic_map.h"
#include "formats/csv_field_map.h"
#include "formats/csv_reader.h"
#include "formats/csv_scanner.h"
#include "formats/csv_writer.h"
