/* Runner self-test: the runners must pass stdout through and return 3. */
#include <stdio.h>

int main(void)
{
    printf("hello\n");
    fflush(stdout);
    return 3;
}
