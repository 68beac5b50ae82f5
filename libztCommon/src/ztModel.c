/* Camera model numbers and their product names. */
#include <stddef.h>

#include "ztUtil.h"

static const struct {
    int number;
    const char* name;
} s_models[] = {
    {55, "Kestrel"},
    {51, "Merlin"},
    {50, "Osprey"},
    {-1, NULL},
};

const char* get_model_name(unsigned model)
{
    for (size_t i = 0; s_models[i].number != -1; i++) {
        if ((unsigned)s_models[i].number == model)
            return s_models[i].name;
    }
    return NULL;
}
