select team, player, goals, rank() over (partition by team order by goals desc) as team_rank, sum(goals) over (order by team) as running from scores where season = 2023
