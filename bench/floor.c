// SPDX-License-Identifier: MIT
/* The floor of the start-up benchmark: a static program that does nothing. */
int main(void)
{
    return 0;
}
