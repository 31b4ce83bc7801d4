/* vantrel-dump streams a string's or data block's payload in pieces of this
 * many bytes: a data block cut short by the end of the file is listed with
 * the pieces it read whole, and the inspector page shows it so.  Plain C,
 * for the page's WebAssembly build too. */
#ifndef VANTREL_DUMP_PIECE_H
#define VANTREL_DUMP_PIECE_H

#define VANTREL_DUMP_PIECE 64u

#endif
