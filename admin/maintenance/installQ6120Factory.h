#pragma once
// Lets the product build Q6120 modules: each a TModQ6120 with its device
// page TfmQ6120. The program calls this once at start, before the main
// window creates the product.
void InstallQ6120Factory();
