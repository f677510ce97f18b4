// SPDX-License-Identifier: GPL-3.0-or-later
// Test-only second reader: prints every row of a .db file as pxlib's read path sees it.
//
// Output: "rows N", then one line per row, values separated by tabs: "-" empty, "A<hex bytes>"
// text, "I<integer>" Short/Long, "N<%.17g>" Number/Money, "?" other types. pxlib reports some
// empty Long values as -2147483648; our writer never stores that value, so it reads as empty.
extern "C" {
#include <paradox.h>
}

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: px_oracle FILE.db\n");
        return 2;
    }
    PX_boot();
    pxdoc_t* doc = PX_new();
    if (!doc || PX_open_file(doc, argv[1]) < 0) {
        std::fprintf(stderr, "px_oracle: cannot open %s\n", argv[1]);
        return 2;
    }
    const int numFields = PX_get_num_fields(doc);
    const int numRecords = PX_get_num_records(doc);
    pxfield_t* fields = PX_get_fields(doc);
    std::vector<char> record(static_cast<std::size_t>(PX_get_recordsize(doc)));
    std::printf("rows %d\n", numRecords);
    for (int r = 0; r < numRecords; ++r) {
        if (!PX_get_record(doc, r, record.data())) {
            std::fprintf(stderr, "px_oracle: cannot read row %d\n", r);
            return 3;
        }
        char* p = record.data();
        for (int f = 0; f < numFields; ++f) {
            const pxfield_t& field = fields[f];
            if (f)
                std::printf("\t");
            switch (field.px_ftype) {
            case pxfAlpha: {
                char* text = nullptr;
                if (PX_get_data_alpha(doc, p, field.px_flen, &text) > 0 && text && *text) {
                    std::printf("A");
                    for (const char* c = text; *c; ++c)
                        std::printf("%02x", static_cast<unsigned char>(*c));
                } else {
                    std::printf("-");
                }
                if (text)
                    doc->free(doc, text);
                break;
            }
            case pxfShort: {
                short v = 0;
                if (PX_get_data_short(doc, p, field.px_flen, &v) > 0)
                    std::printf("I%d", v);
                else
                    std::printf("-");
                break;
            }
            case pxfLong: {
                long v = 0;
                if (PX_get_data_long(doc, p, field.px_flen, &v) > 0 && v != INT_MIN)
                    std::printf("I%ld", v);
                else
                    std::printf("-");
                break;
            }
            case pxfNumber:
            case pxfCurrency: {
                double v = 0;
                if (PX_get_data_double(doc, p, field.px_flen, &v) > 0)
                    std::printf("N%.17g", v);
                else
                    std::printf("-");
                break;
            }
            default:
                std::printf("?");
            }
            p += field.px_flen;
        }
        std::printf("\n");
    }
    PX_close(doc);
    PX_delete(doc);
    PX_shutdown();
    return 0;
}
