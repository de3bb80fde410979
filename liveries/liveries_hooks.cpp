#include "liveries/liveries_hooks.hpp"

#include "liveries/livery_index.hpp"
#include "refdata/type_queries.hpp"

void gf_registerLiveriesHooks()
{
    LiveryIndexQueries queries;
    queries.hasInstalledType = &gf_hasInstalledType;
    queries.liveryAirlines = &gf_liveryAirlines;
    queries.hasAirlineModel = &gf_hasAirlineModel;
    gf_setLiveryIndexQueries(std::move(queries));
}
