/* Basic fixed-width types shared by the partition guides and the upgrade service. */
#ifndef UTILS_TYPE_H
#define UTILS_TYPE_H

#include <stdint.h>

typedef uint32_t BU_U32;
typedef int32_t BU_S32;
typedef char BU_CHAR;

#endif /* UTILS_TYPE_H */
