/* vrcore value syntaxes: the in-memory form of every attribute value
 * (gen_types.h) and the functions on it: copy, delete and conversion
 * (gen_copy.h), trace rendering (gen_render.h), mail addresses in O/R
 * names (gen_mail.h) and comparison (gen_compare.h). Including this header
 * includes them all. */
#ifndef VRCORE_GEN_H
#define VRCORE_GEN_H

#include "gen_types.h"
#include "gen_copy.h"
#include "gen_render.h"
#include "gen_mail.h"
#include "gen_compare.h"

#endif /* VRCORE_GEN_H */
