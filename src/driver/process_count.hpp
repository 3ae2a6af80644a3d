#pragma once
// How many processes a parallel launcher (mpirun, srun, mpiexec) started of
// this program, from the environment it sets; 1 when none did.
namespace tarvex {

int launched_processes();

}  // namespace tarvex
